"use strict";
// Frames that would paint the stage exactly as it is are not painted.
//
// Ruffle's canvas renderer draws the whole stage on every frame of the movie,
// so an idle game repaints the window 30 times a second. Here the drawing
// calls a frame makes on the visible canvas are held back until the frame
// ends; when they are the very calls of the frame last painted, on objects
// unchanged since, the canvas already shows their result and they are dropped.
// Otherwise they are played in order, so what is painted never differs.
(() => {
  const Context = CanvasRenderingContext2D.prototype;
  const own = (object, name) => Object.getOwnPropertyDescriptor(object, name);

  // Objects a drawing call may take whose content can change later: a version
  // per object, raised by every change made through their own methods.
  const versions = new WeakMap();
  const versionOf = (object) => versions.get(object) ?? 0;
  const changed = (object) => {
    if (object && typeof object === "object") versions.set(object, versionOf(object) + 1);
  };
  const counted = (proto, names) => {
    for (const name of names) {
      const original = proto && own(proto, name)?.value;
      if (typeof original !== "function") continue;
      proto[name] = function (...args) {
        changed(this);
        return original.apply(this, args);
      };
    }
  };
  // A pattern's version is the transform it was last given: Ruffle sets it on every frame.
  const Pattern = globalThis.CanvasPattern?.prototype;
  const setPatternTransform = Pattern && own(Pattern, "setTransform")?.value;
  if (typeof setPatternTransform === "function")
    Pattern.setTransform = function (...args) {
      const parts = args.map(describe);
      versions.set(this, parts.includes(null) ? {} : parts.join(","));
      return setPatternTransform.apply(this, args);
    };
  counted(globalThis.CanvasGradient?.prototype, ["addColorStop"]);

  // A path is known by what made it: Ruffle builds some paths anew each frame.
  const NativePath = globalThis.Path2D;
  const pathKeys = new WeakMap();
  const describe = (value) => {
    if (value instanceof NativePath) return pathKeys.get(value) ?? null;
    if (typeof value === "number" || typeof value === "boolean") return String(value);
    if (typeof value === "string") return JSON.stringify(value);
    if (value === undefined) return "u";
    if (value === null || typeof value !== "object" || value instanceof EventTarget) return null;
    // A matrix, as a DOMMatrix or either form of its initialiser.
    for (const keys of [["a", "b", "c", "d", "e", "f"], ["m11", "m12", "m21", "m22", "m41", "m42"]])
      if (keys.every((k) => typeof value[k] === "number")) return "{" + keys.map((k) => value[k]).join(",") + "}";
    return null;
  };
  const keyed = (path, name, args) => {
    const parts = args.map(describe);
    const before = pathKeys.get(path);
    pathKeys.set(path, parts.includes(null) || before === null ? null : (before ?? "") + name + "(" + parts.join(",") + ")");
  };
  if (NativePath) {
    globalThis.Path2D = class Path2D extends NativePath {
      constructor(...args) {
        super(...args);
        keyed(this, "new", args);
      }
    };
    for (const name of ["addPath", "closePath", "moveTo", "lineTo", "bezierCurveTo", "quadraticCurveTo", "arc",
      "arcTo", "ellipse", "rect", "roundRect"]) {
      const original = own(NativePath.prototype, name)?.value;
      if (typeof original !== "function") continue;
      NativePath.prototype[name] = function (...args) {
        keyed(this, name, args);
        return original.apply(this, args);
      };
    }
  }

  // Arguments compared by value, paths by what made them, objects whose
  // changes are counted by identity and version. Anything else (image data,
  // an image or video element, a matrix set through its fields) might have
  // changed unseen: its frame is always painted.
  const byVersion = [globalThis.CanvasPattern, globalThis.CanvasGradient,
    globalThis.HTMLCanvasElement, globalThis.ImageBitmap].filter(Boolean);
  const sign = (signature, value) => {
    if (value === null || typeof value !== "object" && typeof value !== "function") signature.push(value);
    else if (NativePath && value instanceof NativePath) {
      const key = pathKeys.get(value);
      if (typeof key !== "string") return false;
      signature.push(key);
    } else if (byVersion.some((type) => value instanceof type)) signature.push(value, versionOf(value));
    else return false;
    return true;
  };

  const visible = (context) => context.canvas instanceof HTMLCanvasElement && context.canvas.isConnected;

  let frame = null;  // the visible canvas's held calls, while a frame runs
  let painted = null;  // the signature of the calls last played on it, or null
  let paintedOn = null;

  // A call that fails (a drawImage of a broken image) fails alone, as Ruffle
  // would have taken its error and gone on.
  const play = (calls) => {
    for (const [original, context, args, setter] of calls) {
      try {
        if (setter) setter.call(context, args[0]);
        else original.apply(context, args);
      } catch (e) {
        console.debug("a held drawing call failed: " + e);
      }
    }
  };
  // Plays what is held, for a call that needs the canvas as it would be.
  const flush = () => {
    if (!frame || frame.played) return;
    play(frame.calls);
    frame.played = true;
  };
  const hold = (context, original, args, setter, name) => {
    if (!frame || frame.played || (frame.context && frame.context !== context)) return false;
    frame.context = context;
    frame.calls.push([original, context, args, setter]);
    frame.signature.push(name, args.length);
    for (const arg of args) if (!sign(frame.signature, arg)) frame.opaque = true;
    return true;
  };

  // Calls that only draw or set drawing state: held during a frame. Every other
  // call on the visible canvas first plays what is held.
  const drawing = new Set(["save", "restore", "setTransform", "resetTransform", "transform", "translate",
    "scale", "rotate", "fillRect", "clearRect", "strokeRect", "fill", "stroke", "clip", "beginPath", "closePath",
    "moveTo", "lineTo", "bezierCurveTo", "quadraticCurveTo", "arc", "arcTo", "ellipse", "rect", "roundRect",
    "drawImage", "putImageData", "fillText", "strokeText", "setLineDash"]);

  for (const name of Object.getOwnPropertyNames(Context)) {
    const descriptor = own(Context, name);
    if (name === "constructor" || !descriptor.configurable) continue;
    if (typeof descriptor.value === "function") {
      const original = descriptor.value;
      const held = drawing.has(name);
      Context[name] = function (...args) {
        if (visible(this)) {
          if (held && hold(this, original, args, null, name)) return undefined;
          if (frame && frame.context === this) flush();
          else painted = null;
        } else if (held) {
          changed(this.canvas);
        }
        return original.apply(this, args);
      };
    } else if (descriptor.set) {
      const { get, set } = descriptor;
      Object.defineProperty(Context, name, {
        configurable: true,
        enumerable: descriptor.enumerable,
        get() {
          if (frame && frame.context === this) flush();
          return get.call(this);
        },
        set(value) {
          if (visible(this)) {
            if (hold(this, null, [value], set, name)) return;
            if (!(frame && frame.context === this)) painted = null;
          }
          set.call(this, value);
        },
      });
    }
  }

  // Resizing a canvas clears it.
  for (const name of ["width", "height"]) {
    const descriptor = own(HTMLCanvasElement.prototype, name);
    Object.defineProperty(HTMLCanvasElement.prototype, name, {
      ...descriptor,
      set(value) {
        changed(this);
        if (this === paintedOn) painted = null;
        descriptor.set.call(this, value);
      },
    });
  }

  const same = (a, b) => a !== null && b !== null && a.length === b.length && a.every((v, i) => v === b[i]);

  const endFrame = () => {
    const ended = frame;
    frame = null;
    if (!ended.context) return;
    const canvas = ended.context.canvas;
    const signature = ended.opaque ? null : ended.signature;
    if (!ended.played) {
      if (canvas === paintedOn && same(signature, painted)) return;
      play(ended.calls);
    }
    changed(canvas);
    // Calls played before the frame ended are not all in the signature.
    painted = ended.played ? null : signature;
    paintedOn = canvas;
  };

  const request = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) =>
    request((time) => {
      if (frame) return callback(time);
      frame = { calls: [], signature: [], context: null, played: false, opaque: false };
      try {
        return callback(time);
      } finally {
        endFrame();
      }
    });
})();
