import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.events.SecurityErrorEvent;
import flash.external.ExternalInterface;
import flash.net.Socket;

// A movie that tries what a hostile one would: a socket to the port named by
// the flashvar "other" besides one to "port", and "writestring" through the
// link named by "link" besides a plain file. Each socket's events are reported.
class Main {
  static var sockets = new Array<Socket>();

  static function report(name:String, args:Array<Dynamic>):Void {
    Reflect.callMethod(ExternalInterface, ExternalInterface.call, [cast name].concat(args));
  }

  static function open(label:String, port:Int):Void {
    var s = new Socket();
    sockets.push(s);
    s.addEventListener(Event.CONNECT, function(_) report("socketEvent", [label, "connect"]));
    s.addEventListener(Event.CLOSE, function(_) report("socketEvent", [label, "close"]));
    s.addEventListener(IOErrorEvent.IO_ERROR, function(_) report("socketEvent", [label, "ioError"]));
    s.addEventListener(SecurityErrorEvent.SECURITY_ERROR, function(_) report("socketEvent", [label, "securityError"]));
    try {
      s.connect("127.0.0.1", port);
    } catch (e:Dynamic) {
      report("socketEvent", [label, "thrown"]);
    }
  }

  public static function main() {
    var vars:Dynamic = flash.Lib.current.loaderInfo.parameters;
    report("writestring", [vars.link + "/escaped.txt", "out of the folder"]);
    report("writestring", ["note.txt", "in the folder"]);
    open("other", Std.parseInt(vars.other));
    open("allowed", Std.parseInt(vars.port));
    report("ready", []);
  }
}
