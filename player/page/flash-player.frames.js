"use strict";
// Only what changed on the stage is painted.
//
// Ruffle's canvas renderer draws the whole stage on every frame of the movie,
// so an idle game repaints the window 30 times a second, and a game whose ping
// line changes once a second repaints all of it for that line. Here the
// drawing calls a frame makes on the visible canvas are held back until the
// frame ends. Each painting call is known by its arguments and the drawing
// state it runs in; the calls the frame shares with the frame last painted, at
// its start and at its end, paint there what they painted before. So only the
// rectangle around the other calls, the old frame's and the new one's, is
// painted again: the whole frame is played clipped to it. A frame with no
// such calls is not painted at all; one whose calls cannot all be compared or
// bounded is painted whole, so what is painted never differs.
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
  // An object's number, so that a key can name it.
  const ids = new WeakMap();
  let nextId = 0;
  const idOf = (object) => {
    let id = ids.get(object);
    if (id === undefined) ids.set(object, (id = ++nextId));
    return id;
  };
  // A number per text (a path's making, a drawing state), so that keys stay short and
  // compare fast. Past a bound the numbers start again and no older key is compared.
  const maxTexts = 100000;
  let texts = new Map();
  let textGeneration = 0;
  const numberOf = (text) => {
    let id = texts.get(text);
    if (id === undefined) {
      if (texts.size >= maxTexts) {
        texts = new Map();
        ++textGeneration;
      }
      texts.set(text, (id = texts.size + 1));
    }
    return id;
  };

  // A matrix, as a DOMMatrix or either form of its initialiser: [a, b, c, d, e, f], or null.
  const matrixOf = (value) => {
    if (value === null || typeof value !== "object") return null;
    for (const keys of [["a", "b", "c", "d", "e", "f"], ["m11", "m12", "m21", "m22", "m41", "m42"]])
      if (keys.every((k) => typeof value[k] === "number")) return keys.map((k) => value[k]);
    return null;
  };
  const NativePath = globalThis.Path2D;
  const pathKeys = new WeakMap();
  const describe = (value) => {
    if (value instanceof NativePath) return pathKeys.get(value) ?? null;
    if (typeof value === "number" || typeof value === "boolean") return String(value);
    if (typeof value === "string") return JSON.stringify(value);
    if (value === undefined) return "u";
    if (value === null || typeof value !== "object" || value instanceof EventTarget) return null;
    const m = matrixOf(value);
    return m ? "{" + m.join(",") + "}" : null;
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

  // Matrices as [a, b, c, d, e, f], applied as the canvas does.
  const identity = [1, 0, 0, 1, 0, 0];
  const multiply = (m, t) => [m[0] * t[0] + m[2] * t[1], m[1] * t[0] + m[3] * t[1], m[0] * t[2] + m[2] * t[3],
    m[1] * t[2] + m[3] * t[3], m[0] * t[4] + m[2] * t[5] + m[4], m[1] * t[4] + m[3] * t[5] + m[5]];
  // Boxes as [x0, y0, x1, y1]; null is "anywhere".
  const boxThrough = (m, box) => {
    if (!m || !box) return null;
    const xs = [], ys = [];
    for (const [x, y] of [[box[0], box[1]], [box[2], box[1]], [box[0], box[3]], [box[2], box[3]]]) {
      xs.push(m[0] * x + m[2] * y + m[4]);
      ys.push(m[1] * x + m[3] * y + m[5]);
    }
    const out = [Math.min(...xs), Math.min(...ys), Math.max(...xs), Math.max(...ys)];
    return out.every(Number.isFinite) ? out : null;
  };
  const union = (a, b) => (a ? [Math.min(a[0], b[0]), Math.min(a[1], b[1]), Math.max(a[2], b[2]), Math.max(a[3], b[3])] : b);
  const grown = (box, by) => (box ? [box[0] - by, box[1] - by, box[2] + by, box[3] + by] : null);
  const numbers = (args, count) => args.length >= count && args.slice(0, count).every((a) => typeof a === "number");

  // A path is known by what made it, Ruffle builds some paths anew each frame,
  // and by the box its points lie in (a curve lies within its control points).
  const pathBoxes = new WeakMap();
  const pathBox = (path) => (pathBoxes.has(path) ? pathBoxes.get(path) : null);
  const points = {
    moveTo: (a) => [a[0], a[1]],
    lineTo: (a) => [a[0], a[1]],
    quadraticCurveTo: (a) => a.slice(0, 4),
    bezierCurveTo: (a) => a.slice(0, 6),
    // An arc's tangent points may lie past its control points.
    arcTo: () => null,
    arc: (a) => [a[0] - a[2], a[1] - a[2], a[0] + a[2], a[1] + a[2]],
    ellipse: (a) => {
      const r = Math.max(Math.abs(a[2]), Math.abs(a[3]));
      return [a[0] - r, a[1] - r, a[0] + r, a[1] + r];
    },
    rect: (a) => [a[0], a[1], a[0] + a[2], a[1] + a[3]],
    roundRect: (a) => [a[0], a[1], a[0] + a[2], a[1] + a[3]],
    closePath: () => [],
  };
  // The box of a path after a call on it: a path it only grows, null once unknown.
  const boxAfter = (before, name, args) => {
    if (before === null) return null;
    if (name === "addPath") {
      const other = args[0] instanceof NativePath ? pathBox(args[0]) : null;
      const m = args[1] === undefined ? identity : matrixOf(args[1]);
      if (other === undefined) return before;
      const moved = boxThrough(m, other);
      return moved ? union(before, moved) : null;
    }
    const list = points[name] && points[name](args);
    if (!list || !list.every((v) => typeof v === "number" && Number.isFinite(v))) return null;
    let box = before;
    for (let i = 0; i + 1 < list.length; i += 2) box = union(box, [list[i], list[i + 1], list[i], list[i + 1]]);
    return box;
  };
  // A path's key as a number, kept until the path changes.
  const pathNumbers = new WeakMap();
  const pathNumber = (path) => {
    let n = pathNumbers.get(path);
    if (n === undefined || n.generation !== textGeneration) {
      const key = pathKeys.get(path);
      if (typeof key !== "string") return null;
      pathNumbers.set(path, (n = { id: numberOf(key), generation: textGeneration }));
    }
    return "\u0000p" + n.id;
  };
  const keyed = (path, name, args) => {
    pathNumbers.delete(path);
    const parts = args.map(describe);
    const before = pathKeys.get(path);
    pathKeys.set(path, parts.includes(null) || before === null ? null : (before ?? "") + name + "(" + parts.join(",") + ")");
    pathBoxes.set(path, boxAfter(pathBoxes.has(path) ? pathBoxes.get(path) : undefined, name, args));
  };
  if (NativePath) {
    globalThis.Path2D = class Path2D extends NativePath {
      constructor(...args) {
        super(...args);
        keyed(this, "new", args);
        // A copy of a path has its box; a path from SVG text has none known.
        pathBoxes.set(this, args.length === 0 ? undefined : args[0] instanceof NativePath ? pathBox(args[0]) : null);
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
  // changed unseen: its frame is always painted whole.
  const byVersion = [globalThis.CanvasPattern, globalThis.CanvasGradient,
    globalThis.HTMLCanvasElement, globalThis.ImageBitmap].filter(Boolean);
  // Pushes what stands for `value` in a frame's signature; false when nothing can.
  const sign = (signature, value) => {
    if (value === null || typeof value !== "object" && typeof value !== "function") signature.push(value);
    else if (NativePath && value instanceof NativePath) {
      const number = pathNumber(value);
      if (number === null) return false;
      signature.push(number);
    } else if (byVersion.some((type) => value instanceof type)) signature.push(value, versionOf(value));
    else return false;
    return true;
  };
  // A call's part of a signature as text.
  const textOf = (part) => (part !== null && typeof part === "object" ? "#" + idOf(part)
    : typeof part === "string" ? JSON.stringify(part) : String(part));
  const keyOf = (signature, call) => signature.slice(call.at, call.end).map(textOf).join(",");

  // The drawing state a painting call runs in, as far as it changes pixels:
  // the transform, every property set, the clips, the path being built.
  // Properties never set since the state was last known carry that moment's token.
  let epoch = 0;
  const freshState = () => ({ m: null, values: {}, keys: {}, clips: "", path: "", pathBox: undefined,
    stack: [], base: ++epoch, cached: null });
  const savedKey = (s) => {
    let key = (s.m ? s.m.join(",") : "?") + "|" + s.clips;
    for (const name of Object.keys(s.keys).sort()) key += "|" + name + "=" + s.keys[name];
    return key;
  };
  const stateKey = (s) => (s.cached ??= numberOf(s.base + "|" + savedKey(s)));
  // All the state a later frame may find, the saved states and the path included.
  const wholeKey = (s) => stateKey(s) + "|" + s.path + "|" + s.stack.map(savedKey).join("/");
  // Properties that may carry a drawing beyond the box of its geometry.
  const bounded = new Set(["source-over", "source-atop", "destination-over", "destination-out", "lighter",
    "xor", "multiply", "screen", "overlay", "darken", "lighten", "color-dodge", "color-burn", "hard-light",
    "soft-light", "difference", "exclusion", "hue", "saturation", "color", "luminosity"]);
  const unbounded = (s) => {
    const v = s.values;
    return ("globalCompositeOperation" in v && !bounded.has(v.globalCompositeOperation)) ||
      ("filter" in v && v.filter !== "none") ||
      ("shadowColor" in v && !/^(transparent|rgba\(0, 0, 0, 0\)|#0000(0000)?)$/.test(String(v.shadowColor)));
  };
  // Where a painting call may change pixels, in canvas pixels; null when not known.
  const paintBox = (s, name, args) => {
    if (unbounded(s)) return null;
    if (name === "fillRect" || name === "clearRect" || name === "strokeRect") {
      if (!numbers(args, 4)) return null;
      const box = boxThrough(s.m, [Math.min(args[0], args[0] + args[2]), Math.min(args[1], args[1] + args[3]),
        Math.max(args[0], args[0] + args[2]), Math.max(args[1], args[1] + args[3])]);
      return name === "strokeRect" ? null : box;
    }
    if (name === "fill" || name === "stroke") {
      const box = args[0] instanceof NativePath ? pathBox(args[0]) : s.pathBox;
      if (!box) return null;
      return boxThrough(s.m, name === "stroke" ? grown(box, strokeReach(s)) : box);
    }
    if (name === "drawImage") {
      const image = args[0];
      if (args.length === 3 && numbers(args.slice(1), 2) && typeof image?.width === "number")
        return boxThrough(s.m, [args[1], args[2], args[1] + image.width, args[2] + image.height]);
      const d = args.length === 5 ? args.slice(1) : args.length === 9 ? args.slice(5) : null;
      if (!d || !numbers(d, 4)) return null;
      return boxThrough(s.m, [Math.min(d[0], d[0] + d[2]), Math.min(d[1], d[1] + d[3]),
        Math.max(d[0], d[0] + d[2]), Math.max(d[1], d[1] + d[3])]);
    }
    // Text, image data and rectangles' strokes: not bounded here.
    return null;
  };
  const strokeReach = (s) => {
    const width = "lineWidth" in s.values ? Number(s.values.lineWidth) : 1;
    const miter = "miterLimit" in s.values ? Number(s.values.miterLimit) : 10;
    const reach = width * Math.max(miter, 1);
    return Number.isFinite(reach) ? reach : Infinity;
  };

  const painting = new Set(["fillRect", "clearRect", "strokeRect", "fill", "stroke", "drawImage", "putImageData",
    "fillText", "strokeText"]);
  const transforms = {
    setTransform: (s, a) => (a.length === 0 ? identity : numbers(a, 6) ? a.slice(0, 6) : matrixOf(a[0])),
    resetTransform: () => identity,
    transform: (s, a) => (s.m && numbers(a, 6) ? multiply(s.m, a) : null),
    translate: (s, a) => (s.m && numbers(a, 2) ? multiply(s.m, [1, 0, 0, 1, a[0], a[1]]) : null),
    scale: (s, a) => (s.m && numbers(a, 2) ? multiply(s.m, [a[0], 0, 0, a[1], 0, 0]) : null),
    rotate: (s, a) => (s.m && numbers(a, 1) ? multiply(s.m, [Math.cos(a[0]), Math.sin(a[0]), -Math.sin(a[0]),
      Math.cos(a[0]), 0, 0]) : null),
  };

  // Follows the held calls of a frame through the state: the painting calls
  // as {key, box} (`ownPath` when it builds the canvas's own path), or null
  // when the frame leaves the state it found unbalanced.
  const follow = (s, calls, signature) => {
    const ops = [];
    const depth = s.stack.length;
    for (const call of calls) {
      const { name, args } = call;
      const key = keyOf(signature, call);
      if (call.setter || name === "setLineDash") {
        s.values[name] = args[0];
        s.keys[name] = key;
        s.cached = null;
      } else if (Object.hasOwn(transforms, name)) {
        s.m = transforms[name](s, args);
        s.cached = null;
      } else if (name === "save") {
        s.stack.push({ m: s.m, values: { ...s.values }, keys: { ...s.keys }, clips: s.clips });
      } else if (name === "restore") {
        // A frame that restores a state saved before it would undo the clip it is painted in.
        if (s.stack.length <= depth) return null;
        Object.assign(s, s.stack.pop());
        s.cached = null;
      } else if (name === "beginPath") {
        s.path = "";
        s.pathBox = undefined;
        ops.ownPath = true;
      } else if (name === "clip") {
        const path = args[0] instanceof NativePath ? "" : s.path;
        s.clips += "/" + key + path + "@" + (s.m ? s.m.join(",") : "?");
        s.cached = null;
      } else if (painting.has(name)) {
        const path = args[0] instanceof NativePath || !s.path ? "" : "|" + numberOf(s.path);
        ops.push({ key: key + path + "@" + stateKey(s), box: paintBox(s, name, args) });
      } else if (Object.hasOwn(points, name)) {
        s.path += key;
        s.pathBox = boxAfter(s.pathBox, name, args);
        ops.ownPath = true;
      } else {
        s.path += key;
        ops.ownPath = true;
      }
    }
    return s.stack.length === depth ? ops : null;
  };

  // The rectangle, in whole canvas pixels, outside which the new frame paints
  // exactly what the old one did; null when it is not known or not worth it.
  const damage = (old, ops, canvas) => {
    let start = 0;
    const n = old.length, m = ops.length;
    while (start < n && start < m && old[start].key === ops[start].key) ++start;
    let end = 0;
    while (end < n - start && end < m - start && old[n - 1 - end].key === ops[m - 1 - end].key) ++end;
    let box;
    for (const op of [...old.slice(start, n - end), ...ops.slice(start, m - end)]) {
      if (!op.box) return null;
      box = union(box, op.box);
    }
    if (!box) return [0, 0, 0, 0];
    // Antialiasing reaches into the pixels a box only touches; one more for safety.
    const x0 = Math.max(0, Math.floor(box[0]) - 1), y0 = Math.max(0, Math.floor(box[1]) - 1);
    const x1 = Math.min(canvas.width, Math.ceil(box[2]) + 1), y1 = Math.min(canvas.height, Math.ceil(box[3]) + 1);
    if (x1 <= x0 || y1 <= y0) return [0, 0, 0, 0];
    // Past half the canvas a clipped play saves little.
    if ((x1 - x0) * (y1 - y0) * 2 > canvas.width * canvas.height) return null;
    return [x0, y0, x1 - x0, y1 - y0];
  };

  const visible = (context) => context.canvas instanceof HTMLCanvasElement && context.canvas.isConnected;

  let frame = null;  // the visible canvas's held calls, while a frame runs
  let state = null;  // the visible canvas's drawing state after the held calls so far, when known
  let painted = null;  // the painting calls of the frame last painted on `paintedOn`, or null
  let paintedOn = null;
  // Any call on the visible canvas that is not held leaves its state unknown.
  const unheld = () => {
    painted = null;
    state = null;
  };

  // A call that fails (a drawImage of a broken image) fails alone, as Ruffle
  // would have taken its error and gone on.
  const play = (calls, skipPainting) => {
    for (const { original, context, args, setter, name } of calls) {
      if (skipPainting && painting.has(name)) continue;
      try {
        if (setter) setter.call(context, args[0]);
        else original.apply(context, args);
      } catch (e) {
        console.debug("a held drawing call failed: " + e);
      }
    }
  };
  const nativeSave = Context.save, nativeRestore = Context.restore, nativeClip = Context.clip;
  const nativeResetTransform = Context.resetTransform;
  // The frame painted only inside `rect`; then its state-setting calls again, so
  // that the canvas's state is what the whole frame leaves.
  const playInside = (calls, context, rect) => {
    if (rect[2] > 0 && rect[3] > 0) {
      const clip = new NativePath();
      clip.rect(...rect);
      nativeSave.call(context);
      nativeResetTransform.call(context);
      nativeClip.call(context, clip);
      play(calls, false);
      nativeRestore.call(context);
    }
    play(calls, true);
  };
  // Plays what is held, for a call that needs the canvas as it would be.
  const flush = () => {
    if (!frame || frame.played) return;
    play(frame.calls, false);
    frame.played = true;
  };
  const hold = (context, original, args, setter, name) => {
    if (!frame || frame.played || (frame.context && frame.context !== context)) return false;
    frame.context = context;
    const signature = frame.signature;
    const at = signature.length;
    signature.push(name, args.length);
    for (const arg of args) if (!sign(signature, arg)) frame.opaque = true;
    frame.calls.push({ original, context, args, setter, name, at, end: signature.length });
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
          else unheld();
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
            if (!(frame && frame.context === this)) unheld();
          }
          set.call(this, value);
        },
      });
    }
  }

  // Resizing a canvas clears it and resets its state.
  for (const name of ["width", "height"]) {
    const descriptor = own(HTMLCanvasElement.prototype, name);
    Object.defineProperty(HTMLCanvasElement.prototype, name, {
      ...descriptor,
      set(value) {
        changed(this);
        if (this === paintedOn) unheld();
        descriptor.set.call(this, value);
      },
    });
  }

  const same = (a, b) => a.length === b.length && a.every((v, i) => v === b[i]);

  const endFrame = () => {
    const ended = frame;
    frame = null;
    if (!ended.context) return;
    const canvas = ended.context.canvas;
    // Keys made under other numbers of texts say nothing.
    const comparable = !ended.played && !ended.opaque && canvas === paintedOn && ended.texts === textGeneration &&
      painted?.texts === textGeneration;
    if (!comparable || !state) state = freshState();
    const start = wholeKey(state);
    // The very calls of the frame last painted, in the state that frame found and left: dropped.
    if (comparable && painted.start === painted.end && start === painted.end && same(ended.signature, painted.signature)) {
      return;
    }
    const ops = ended.played || ended.opaque ? null : follow(state, ended.calls, ended.signature);
    const end = ops && wholeKey(state);
    if (!ops) state = null;
    if (!ended.played) {
      // The canvas's own path would be built twice by a clipped play and its state calls.
      const rect = ops && comparable && !ops.ownPath ? damage(painted.ops, ops, canvas) : null;
      const still = rect && rect[2] === 0;
      // A frame that paints nothing new and leaves the state as it was is dropped.
      if (still && end === painted.end) return;
      if (rect) playInside(ended.calls, ended.context, rect);
      else play(ended.calls, false);
      if (!still) changed(canvas);
    } else {
      changed(canvas);
    }
    // Calls played before the frame ended are not all followed.
    painted = ops && { ops, start, end, signature: ended.signature, texts: ended.texts };
    paintedOn = canvas;
  };

  const request = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) =>
    request((time) => {
      if (frame) return callback(time);
      frame = { calls: [], signature: [], context: null, played: false, opaque: false, texts: textGeneration };
      try {
        return callback(time);
      } finally {
        endFrame();
      }
    });
})();
