import flash.display.Sprite;
import flash.events.MouseEvent;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFormat;

// A flat push button with a device-font label.
class Button extends Sprite {
	public function new(label:String, width:Int, onClick:Void->Void) {
		super();
		graphics.beginFill(0x3A6EA5);
		graphics.drawRoundRect(0, 0, width, 32, 8, 8);
		graphics.endFill();
		var text = new TextField();
		text.defaultTextFormat = new TextFormat("_sans", 16, 0xFFFFFF, true);
		text.autoSize = TextFieldAutoSize.LEFT;
		text.selectable = false;
		text.text = label;
		text.x = (width - text.width) / 2;
		text.y = (32 - text.height) / 2;
		addChild(text);
		buttonMode = true;
		useHandCursor = true;
		mouseChildren = false;
		addEventListener(MouseEvent.CLICK, function(e) onClick());
	}
}
