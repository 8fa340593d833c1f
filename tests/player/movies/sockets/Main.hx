import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.ProgressEvent;
import flash.events.SecurityErrorEvent;
import flash.external.ExternalInterface;
import flash.net.Socket;
import flash.utils.ByteArray;

// A movie for the socket tests: opens sockets on the host's word and reports
// their events and what arrived (count and Adler-32 of the bytes).
class Main {
  static var sockets = new Map<Int, Socket>();
  static var counts = new Map<Int, Int>();
  static var digests = new Map<Int, Int>();

  static function report(name:String, args:Array<Dynamic>):Void {
    Reflect.callMethod(ExternalInterface, ExternalInterface.call, [cast name].concat(args));
  }

  public static function main() {
    ExternalInterface.addCallback("open", function(id:Int, host:String, port:Int) {
      var s = new Socket();
      sockets.set(id, s);
      counts.set(id, 0);
      digests.set(id, 1);
      s.addEventListener(Event.CONNECT, function(_) report("socketEvent", [id, "connect"]));
      s.addEventListener(Event.CLOSE, function(_) report("socketEvent", [id, "close"]));
      s.addEventListener(IOErrorEvent.IO_ERROR, function(_) report("socketEvent", [id, "ioError"]));
      s.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) report("socketEvent", [id, "securityError"]));
      s.addEventListener(ProgressEvent.SOCKET_DATA, function(_) {
        var bytes = new ByteArray();
        s.readBytes(bytes);
        var a:Int = digests.get(id) & 0xFFFF;
        var b:Int = (digests.get(id) >>> 16) & 0xFFFF;
        for (i in 0...bytes.length) {
          a = (a + bytes[i]) % 65521;
          b = (b + a) % 65521;
        }
        digests.set(id, (b << 16) | a);
        counts.set(id, counts.get(id) + bytes.length);
      });
      try {
        s.connect(host, port);
      } catch (e:Dynamic) {
        report("socketEvent", [id, "thrown"]);
      }
    });
    // Writes every byte value once, then `size` bytes of a pattern.
    ExternalInterface.addCallback("send", function(id:Int, size:Int) {
      var s = sockets.get(id);
      var bytes = new ByteArray();
      for (i in 0...256) bytes.writeByte(i);
      for (i in 0...size) bytes.writeByte((i * 7 + 3) & 255);
      s.writeBytes(bytes);
      s.flush();
    });
    ExternalInterface.addCallback("report", function(id:Int) {
      report("socketData", [id, counts.get(id), StringTools.hex(digests.get(id), 8)]);
    });
    ExternalInterface.addCallback("close", function(id:Int) {
      sockets.get(id).close();
      report("socketEvent", [id, "closedByMovie"]);
    });
    report("ready", []);
  }
}
