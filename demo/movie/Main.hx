import flash.Lib;
import flash.display.Sprite;
import flash.events.KeyboardEvent;
import flash.external.ExternalInterface;
import flash.text.TextField;
import flash.text.TextFieldType;
import flash.text.TextFormat;

// The demo game: says "client" 320 to the client, connects through its relay
// to the game server, shows the round trip every second, a chat, and buttons
// for a route trace and an update; the session log (writestring) records the
// connection, the first round trip and each trace report's first line. The
// flashvar "server" (HOST:PORT) names the
// game server, 127.0.0.1:5190 by default.
class Main extends Sprite {
	static inline var VERSION = "320";
	static inline var SESSION_FILE = "session.log";

	var server:String;
	var status:TextField;
	var roundTrip:TextField;
	var chatLog:TextField;
	var input:TextField;
	var report:TextField;
	var lines:Array<String> = [];
	var link:GameLink;

	static function main() {
		Lib.current.addChild(new Main());
	}

	function new() {
		super();
		server = gameServer();
		graphics.beginFill(0x1E2A36);
		graphics.drawRect(0, 0, 800, 600);
		graphics.endFill();
		label(20, 12, 760, 34, 24, 0xFFD27F).text = "Vornask — демонстрационная игра";
		status = label(20, 52, 760, 24, 16, 0xFFFFFF);
		roundTrip = label(20, 78, 760, 24, 16, 0x9FE3A0);
		roundTrip.text = "Пинг: —";
		chatLog = field(20, 112, 520, 300, false);
		input = field(20, 422, 400, 30, true);
		input.maxChars = 300;
		input.addEventListener(KeyboardEvent.KEY_DOWN, function(e:KeyboardEvent) if (e.keyCode == 13) sendChat());
		place(new Button("Отправить", 110, sendChat), 430, 421);
		place(new Button("Трассировка", 220, traceRoute), 560, 112);
		place(new Button("Обновить", 220, reload), 560, 156);
		label(20, 462, 760, 22, 14, 0xC0C8D0).text = "Отчёт о трассировке:";
		report = field(20, 486, 760, 100, false);

		if (!ExternalInterface.available) {
			status.text = "Нет связи с клиентом (ExternalInterface недоступен)";
			return;
		}
		ExternalInterface.addCallback("client", clientReply);
		ExternalInterface.addCallback("bugreport", bugReport);
		status.text = "Связь с клиентом…";
		ExternalInterface.call("client", VERSION);
	}

	static function gameServer():String {
		var given:Dynamic = Lib.current.loaderInfo.parameters.server;
		var text = given == null ? "" : Std.string(given);
		return text.indexOf(":") > 0 ? text : "127.0.0.1:5190";
	}

	// "1.7.0;PORT": the client's version and its relay's port.
	function clientReply(reply:Dynamic):Void {
		var parts = Std.string(reply).split(";");
		var port = parts.length > 1 ? Std.parseInt(parts[1]) : null;
		if (port == null || port <= 0 || port > 65535) {
			status.text = "Клиент " + parts[0] + " не сообщил порт";
			return;
		}
		if (link != null)
			return;
		status.text = "Клиент " + parts[0] + ": соединение с " + server + " через порт " + port + "…";
		link = new GameLink(server);
		link.onConnected = function() {
			status.text = "Подключено к " + server + " через порт " + port;
			var now = DateTools.format(Date.now(), "%Y-%m-%d %H:%M:%S");
			ExternalInterface.call("writestring", SESSION_FILE, "Сеанс " + now + "; сервер " + server + "; порт " + port);
		};
		link.onClosed = function(why) status.text = why;
		link.onWelcome = function(player) addLine("Вы — игрок " + player);
		var tripLogged = false;
		link.onRoundTrip = function(stamped, own) {
			roundTrip.text = "Пинг: " + stamped + " мс (по меткам клиента), полный круг: " + own + " мс";
			if (!tripLogged) {
				tripLogged = true;
				ExternalInterface.call("writestring", SESSION_FILE, "Первый пинг: " + stamped + " мс; полный круг: " + own + " мс");
			}
		};
		link.onChat = function(player, text) addLine("Игрок " + player + ": " + text);
		link.connect(port);
	}

	function bugReport(text:Dynamic):Void {
		report.text = Std.string(text);
		var first = report.text.split("\n")[0].split("\r")[0];
		ExternalInterface.call("writestring", SESSION_FILE, "Отчёт о трассировке: " + first);
	}

	function sendChat():Void {
		if (link != null && input.text.length > 0) {
			link.chat(input.text);
			input.text = "";
		}
	}

	function traceRoute():Void {
		var host = server.substr(0, server.lastIndexOf(":"));
		report.text = "Трассировка до " + host + "…";
		ExternalInterface.call("tracert", host);
	}

	function reload():Void {
		status.text = "Запрошено обновление";
		ExternalInterface.call("reload");
	}

	function addLine(line:String):Void {
		lines.push(line);
		if (lines.length > 14)
			lines.shift();
		chatLog.text = lines.join("\n");
	}

	function label(x:Int, y:Int, w:Int, h:Int, size:Int, color:Int):TextField {
		var t = new TextField();
		t.defaultTextFormat = new TextFormat("_sans", size, color);
		t.selectable = false;
		place(t, x, y);
		t.width = w;
		t.height = h;
		return t;
	}

	function field(x:Int, y:Int, w:Int, h:Int, editable:Bool):TextField {
		var t = new TextField();
		t.defaultTextFormat = new TextFormat("_sans", 15, 0x10161C);
		t.background = true;
		t.backgroundColor = editable ? 0xFFFFFF : 0xE8ECF0;
		t.border = true;
		t.borderColor = 0x6A7A8A;
		t.multiline = !editable;
		t.wordWrap = !editable;
		if (editable)
			t.type = TextFieldType.INPUT;
		place(t, x, y);
		t.width = w;
		t.height = h;
		return t;
	}

	function place(child:flash.display.DisplayObject, x:Int, y:Int):Void {
		child.x = x;
		child.y = y;
		addChild(child);
	}
}
