import flash.display.Sprite;
import flash.display.StageAlign;
import flash.display.StageDisplayState;
import flash.display.StageScaleMode;
import flash.events.Event;
import flash.events.FullScreenEvent;
import flash.events.MouseEvent;
import flash.external.ExternalInterface;
import flash.net.SharedObject;
import flash.text.TextField;
import flash.text.TextFieldType;
import flash.text.TextFormat;

@:sound("tone.wav") class Tone extends flash.media.Sound {}

// A movie that plays as a game does: a looping tone from its first frame, a
// chat field, full screen on a click into the stage and a saved start count.
class Main extends Sprite {
  static function call(name:String, args:Array<Dynamic>):Void {
    Reflect.callMethod(ExternalInterface, ExternalInterface.call, [cast name].concat(args));
  }

  static function flush(saved:SharedObject):String {
    try {
      return Std.string(saved.flush());
    } catch (e:Dynamic) {
      return "failed";
    }
  }

  public static function main() {
    flash.Lib.current.addChild(new Main());
  }

  function new() {
    super();
    var stage = flash.Lib.current.stage;
    stage.scaleMode = StageScaleMode.NO_SCALE;
    stage.align = StageAlign.TOP_LEFT;
    new Tone().play(0, 1000000);

    graphics.beginFill(0x208040);
    graphics.drawRect(0, 0, 4000, 4000);
    graphics.endFill();
    var field = new TextField();
    field.type = TextFieldType.INPUT;
    field.defaultTextFormat = new TextFormat("_sans", 24, 0x000000);
    field.background = true;
    field.backgroundColor = 0xFFFFFF;
    field.x = 20;
    field.y = 20;
    field.width = 400;
    field.height = 36;
    field.text = "привет мир";
    addChild(field);
    field.addEventListener(Event.CHANGE, function(_) call("text", [field.text]));

    stage.addEventListener(MouseEvent.CLICK, function(e:MouseEvent) {
      if (e.target == field) {
        call("fieldClicked", []);
        return;
      }
      try {
        stage.displayState = StageDisplayState.FULL_SCREEN;
      } catch (error:Dynamic) {
        call("fullScreenRefused", [Std.string(error)]);
      }
    });
    stage.addEventListener(FullScreenEvent.FULL_SCREEN, function(e:FullScreenEvent) call("fullScreen", [e.fullScreen]));
    stage.addEventListener(Event.RESIZE, function(_) call("stageSize", [stage.stageWidth, stage.stageHeight]));

    ExternalInterface.addCallback("select", function(begin:Int, end:Int) {
      stage.focus = field;
      field.setSelection(begin, end);
      call("selected", [field.selectionBeginIndex, field.selectionEndIndex]);
    });
    ExternalInterface.addCallback("report", function() call("text", [field.text]));

    var saved = SharedObject.getLocal("play");
    ExternalInterface.addCallback("hoard", function(chars:Int) {
      var text = new StringBuf();
      for (i in 0...chars) text.addChar(0x41 + i % 26);
      saved.data.hoard = text.toString();
      call("hoarded", [flush(saved)]);
      saved.data.hoard = null;
    });
    var starts = (saved.data.starts == null ? 0 : saved.data.starts) + 1;
    saved.data.starts = starts;
    call("starts", [starts, flush(saved)]);
    call("ready", []);
  }
}
