import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.ProgressEvent;
import flash.events.SecurityErrorEvent;
import flash.events.TimerEvent;
import flash.net.Socket;
import flash.utils.ByteArray;
import flash.utils.Endian;
import flash.utils.Timer;

// The game connection: to the client's relay on 127.0.0.1, naming the game
// server first, then a ping (316) every second and chat (500) on demand.
// Pongs (311) give the round trip; 501 is a chat line, 502 the welcome.
class GameLink {
	public var onConnected:Void->Void = function() {};
	public var onClosed:String->Void = function(why) {};
	public var onWelcome:Int->Void = function(player) {};
	// Round trip by the relay's time stamps, and the movie's own.
	public var onRoundTrip:Float->Float->Void = function(stamped, own) {};
	public var onChat:Int->String->Void = function(player, text) {};

	var destination:String;
	var socket:Socket;
	var inbox:ByteArray;
	var timer:Timer;
	var sequence = 0;

	public function new(destination:String) {
		this.destination = destination;
		inbox = Wire.bytes();
	}

	public function connect(port:Int):Void {
		socket = new Socket();
		socket.endian = Endian.LITTLE_ENDIAN;
		socket.addEventListener(Event.CONNECT, connected);
		socket.addEventListener(Event.CLOSE, function(e) closed("Соединение закрыто"));
		socket.addEventListener(IOErrorEvent.IO_ERROR, function(e:IOErrorEvent) closed("Ошибка соединения: " + e.text));
		socket.addEventListener(SecurityErrorEvent.SECURITY_ERROR,
			function(e:SecurityErrorEvent) closed("Соединение запрещено: " + e.text));
		socket.addEventListener(ProgressEvent.SOCKET_DATA, received);
		socket.connect("127.0.0.1", port);
	}

	public function chat(text:String):Void {
		if (socket == null || !socket.connected)
			return;
		var payload = Wire.bytes();
		payload.writeUTFBytes(text);
		if (payload.length == 0 || payload.length > 1000)
			return;
		send(500, payload);
	}

	function connected(e:Event):Void {
		// The destination header: its length, then the text, one byte a character.
		var header = Wire.bytes();
		header.writeUTFBytes(destination);
		socket.writeShort(header.length);
		socket.writeBytes(header, 0, header.length);
		socket.flush();
		timer = new Timer(1000);
		timer.addEventListener(TimerEvent.TIMER, function(e) ping());
		timer.start();
		ping();
		onConnected();
	}

	function ping():Void {
		var now = Date.now().getTime();
		var payload = Wire.bytes();
		payload.writeUnsignedInt(sequence++);
		Wire.writeTime(payload, now);
		for (i in 0...5)
			payload.writeUnsignedInt(0);
		Wire.writeTime(payload, now); // the relay writes its own time here
		send(316, payload);
	}

	function send(id:Int, payload:ByteArray):Void {
		var m = Wire.message(id, payload);
		socket.writeBytes(m, 0, m.length);
		socket.flush();
	}

	function received(e:ProgressEvent):Void {
		socket.readBytes(inbox, inbox.length, socket.bytesAvailable);
		inbox = Wire.cut(inbox, handle);
	}

	function handle(id:Int, payload:ByteArray):Void {
		if (id == 311 && payload.length >= 35) {
			payload.position = 4;
			var sent = Wire.readTime(payload);
			payload.position = 19;
			var pong = Wire.readTime(payload);
			var ping = Wire.readTime(payload);
			onRoundTrip(pong - ping, Date.now().getTime() - sent);
		} else if (id == 501 && payload.length >= 2) {
			var player:Int = payload.readUnsignedShort();
			onChat(player, payload.readUTFBytes(payload.length - 2));
		} else if (id == 502 && payload.length >= 2) {
			onWelcome(payload.readUnsignedShort());
		}
	}

	function closed(why:String):Void {
		if (timer != null)
			timer.stop();
		onClosed(why);
	}
}
