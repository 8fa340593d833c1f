import flash.utils.ByteArray;
import flash.utils.Endian;

// The game protocol's framing, little-endian: a header word (bits 15-12 length
// class, bits 11-0 message id), an explicit payload length for some classes,
// then the payload. Times are milliseconds since 1970 in 64 bits.
class Wire {
	// Size of the explicit length field, and the payload length of the classes without one.
	static var FIELD = [0, 2, 0, 0, 0, 0, 0, 0, 1, 1, 2, 4, 4, 0, 0, 0];
	static var FIXED = [0, 0, 2, 8, 12, 8, 16, 24, 0, 0, 0, 0, 0, 0, 0, 0];

	public static function bytes():ByteArray {
		var b = new ByteArray();
		b.endian = Endian.LITTLE_ENDIAN;
		return b;
	}

	// A class 1 message: header word, 16-bit payload length, payload.
	public static function message(id:Int, payload:ByteArray):ByteArray {
		var out = bytes();
		out.writeShort((1 << 12) | id);
		out.writeShort(payload.length);
		if (payload.length > 0)
			out.writeBytes(payload, 0, payload.length);
		return out;
	}

	// Calls handle(id, payload) for every whole message at the front of
	// `data`; returns what is left over, the start of an incomplete one.
	public static function cut(data:ByteArray, handle:Int->ByteArray->Void):ByteArray {
		var total:Int = data.length;
		var at = 0;
		while (total - at >= 2) {
			data.position = at;
			var word:Int = data.readUnsignedShort();
			var k = word >> 12;
			var field = FIELD[k];
			if (total - at < 2 + field)
				break;
			var length:Int = switch (field) {
				case 1: data.readUnsignedByte();
				case 2: data.readUnsignedShort();
				case 4: data.readUnsignedInt();
				default: FIXED[k];
			}
			// A 32-bit length past the Int range never completes here.
			if (length < 0 || total - at - 2 - field < length)
				break;
			var payload = bytes();
			if (length > 0)
				data.readBytes(payload, 0, length);
			payload.position = 0;
			at += 2 + field + length;
			handle(word & 0xFFF, payload);
		}
		var rest = bytes();
		if (at < total)
			rest.writeBytes(data, at, total - at);
		return rest;
	}

	// In four 16-bit pieces: exact for every time since 1970.
	public static function writeTime(b:ByteArray, millis:Float):Void {
		var t = Math.ffloor(millis);
		for (i in 0...4) {
			b.writeShort(Std.int(t % 65536));
			t = Math.ffloor(t / 65536);
		}
	}

	public static function readTime(b:ByteArray):Float {
		var value = 0.0;
		var scale = 1.0;
		for (i in 0...4) {
			var piece:Int = b.readUnsignedShort();
			value += piece * scale;
			scale *= 65536;
		}
		return value;
	}
}
