import flash.display.Sprite;
import flash.display.StageAlign;
import flash.display.StageScaleMode;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.KeyboardEvent;
import flash.events.MouseEvent;
import flash.events.SecurityErrorEvent;
import flash.external.ExternalInterface;
import flash.net.URLLoader;
import flash.net.URLRequest;
import flash.text.TextField;
import flash.text.TextFormat;

// A movie for the control's tests: answers the host's calls and reports what it sees.
class Main extends Sprite {
  static function call(name:String, args:Array<Dynamic>):Void {
    Reflect.callMethod(ExternalInterface, ExternalInterface.call, [cast name].concat(args));
  }

  public static function main() {
    var root = new Main();
    flash.Lib.current.addChild(root);
  }

  var label:TextField;
  var boxColour = 0xF0A020;

  function new() {
    super();
    var stage = flash.Lib.current.stage;
    stage.scaleMode = StageScaleMode.NO_SCALE;
    stage.align = StageAlign.TOP_LEFT;
    label = new TextField();
    label.defaultTextFormat = new TextFormat("_sans", 28, 0xFFFFFF);
    label.width = 600;
    label.height = 60;
    label.x = 20;
    label.y = 20;
    label.text = "Проба связи: ёЁ — готово";
    addChild(label);
    draw();
    stage.addEventListener(Event.RESIZE, function(_) {
      draw();
      call("stageSize", [stage.stageWidth, stage.stageHeight]);
    });

    stage.addEventListener(MouseEvent.MOUSE_DOWN, function(e:MouseEvent) call("mouseDown", [e.stageX, e.stageY]));
    stage.addEventListener(KeyboardEvent.KEY_DOWN, function(e:KeyboardEvent) call("keyDown", [e.keyCode]));

    ExternalInterface.addCallback("echo", Reflect.makeVarArgs(function(args:Array<Dynamic>) {
      call("echo", args);
      return null;
    }));
    ExternalInterface.addCallback("burst", function(count:Int) {
      for (i in 0...count) call("seq", [i]);
    });
    ExternalInterface.addCallback("stage", function() {
      call("stageSize", [stage.stageWidth, stage.stageHeight]);
    });
    ExternalInterface.addCallback("paint", function(colour:Int) {
      boxColour = colour;
      draw();
    });
    // A small text changed once a second, as a game's ping line.
    var ticks = 0;
    var ticker = new flash.utils.Timer(1000);
    ticker.addEventListener(flash.events.TimerEvent.TIMER, function(_) label.text = "Пинг: " + (++ticks) + " мс");
    ExternalInterface.addCallback("ticker", function() ticker.start());
    ExternalInterface.addCallback("label", function(text:String) label.text = text);
    // A cover over the whole stage, shown or taken away.
    var cover = new Sprite();
    cover.graphics.beginFill(0x30A050);
    cover.graphics.drawRect(0, 0, 4000, 4000);
    cover.graphics.endFill();
    cover.visible = false;
    addChild(cover);
    ExternalInterface.addCallback("cover", function(shown:Bool) cover.visible = shown);
    var frames = 0;
    addEventListener(Event.ENTER_FRAME, function(_) frames++);
    ExternalInterface.addCallback("frames", function() call("frames", [frames]));
    ExternalInterface.addCallback("unknownNames", function() {
      call("someName.the.host.does.not.know", [1]);
      call("alert", ["x"]);
      call("window.close", []);
      call("(function(){throw 1})", [2]);
      call("", []);
    });
    ExternalInterface.addCallback("load", function(path:String) {
      var loader = new URLLoader();
      loader.addEventListener(Event.COMPLETE, function(_) call("loaded", [path, loader.data]));
      loader.addEventListener(IOErrorEvent.IO_ERROR, function(_) call("loadFailed", [path]));
      loader.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) call("loadFailed", [path]));
      try {
        loader.load(new URLRequest(path));
      } catch (e:Dynamic) {
        call("loadFailed", [path]);
      }
    });

    call("types", ["текст <&>\"' ё", 42, -7, 3.5, true, false, null, [1, "two", [3]], {a: 1, b: "x"}]);
    call("ready", []);
  }

  function draw() {
    var stage = flash.Lib.current.stage;
    graphics.clear();
    graphics.beginFill(0x2060C0);
    graphics.drawRect(0, 0, stage.stageWidth, stage.stageHeight);
    graphics.endFill();
    graphics.beginFill(boxColour);
    graphics.drawRect(20, 100, 200, 120);
    graphics.endFill();
  }
}
