"use strict";
// The page side of the control: starts Ruffle with the movie named by the
// control, turns every ExternalInterface call of the movie into the control's
// request XML and hands calls from the host to the movie's callbacks.
(() => {
  const channel = window.webkit.messageHandlers.vornask;
  // The message names come from the view, which defines them before this script runs.
  const message = window.vornaskMessages;
  const post = (name, text) => channel.postMessage(name + ":" + (text ?? ""));

  const entities = { "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;", "'": "&apos;" };
  const escapeXml = (text) =>
    String(text).replace(/[&<>"']|[\u0000-\u0008\u000b\u000c\u000e-\u001f]/g,
      (c) => entities[c] ?? "&#" + c.charCodeAt(0) + ";");

  // A call's request past these is dropped here and again by the host, before
  // anything parses it: 1 MiB of UTF-8, elements 64 deep.
  const maxCallBytes = 1 << 20;
  const maxCallDepth = 64;
  class TooLarge extends Error {}

  // `depth`: the element level the value's own element takes.
  function toXml(value, seen, depth) {
    if (depth > maxCallDepth) throw new TooLarge();
    if (value === undefined) return "<undefined/>";
    if (value === null) return "<null/>";
    switch (typeof value) {
      case "string": return "<string>" + escapeXml(value) + "</string>";
      case "number": return "<number>" + String(value) + "</number>";
      case "boolean": return value ? "<true/>" : "<false/>";
      case "object": {
        if (seen.has(value)) return "<null/>";
        seen.add(value);
        const tag = Array.isArray(value) ? "array" : "object";
        let out = "<" + tag + ">";
        for (const key of Object.keys(value)) {
          out += '<property id="' + escapeXml(key) + '">' + toXml(value[key], seen, depth + 2) + "</property>";
          if (out.length > maxCallBytes) throw new TooLarge();
        }
        seen.delete(value);
        return out + "</" + tag + ">";
      }
      default: return "<undefined/>";
    }
  }

  const utf8Length = (text) => (text.length * 3 <= maxCallBytes ? text.length : new TextEncoder().encode(text).length);

  // The request, or null when it is past the bounds.
  const invokeXml = (name, args) => {
    try {
      const xml = '<invoke name="' + escapeXml(name) + '" returntype="xml"><arguments>' +
        args.map((a) => toXml(a, new Set(), 3)).join("") + "</arguments></invoke>";
      return utf8Length(xml) <= maxCallBytes ? xml : null;
    } catch (e) {
      if (e instanceof TooLarge || e instanceof RangeError) return null;
      throw e;
    }
  };

  // Ruffle runs a movie's ExternalInterface.call(name, ...) as
  // new Function("return (" + name + ")(...arguments);"). Every such function
  // becomes a forwarder of that name, so each call reaches the host, whatever
  // its name, and nothing the movie names is evaluated.
  const NativeFunction = Function;
  const callBody = /^return \(([\s\S]*)\)\(\.\.\.arguments\);$/;
  const forwarder = (body) => {
    const match = typeof body === "string" ? callBody.exec(body) : null;
    if (!match) return null;
    const name = match[1];
    return (...args) => {
      const request = invokeXml(name, args);
      if (request === null) post(message.error, "a call of the movie past 1 MiB or 64 levels is dropped");
      else post(message.call, request);
      return undefined;
    };
  };
  window.Function = new Proxy(NativeFunction, {
    construct(target, args, newTarget) {
      return (args.length === 1 && forwarder(args[0])) || Reflect.construct(target, args, newTarget);
    },
    apply(target, self, args) {
      return (args.length === 1 && forwarder(args[0])) || Reflect.apply(target, self, args);
    },
  });

  const isIndex = (id) => /^(0|[1-9][0-9]{0,8})$/.test(id);
  function fromXml(element) {
    const valueOf = (property) => property.firstElementChild ? fromXml(property.firstElementChild) : undefined;
    switch (element.tagName) {
      case "number": return Number(element.textContent);
      case "true": return true;
      case "false": return false;
      case "null": return null;
      case "undefined": return undefined;
      case "array": {
        const array = [];
        for (const p of element.children) if (isIndex(p.getAttribute("id"))) array[Number(p.getAttribute("id"))] = valueOf(p);
        return array;
      }
      case "object": {
        const object = {};
        for (const p of element.children)
          Object.defineProperty(object, p.getAttribute("id") ?? "", { value: valueOf(p), enumerable: true, writable: true, configurable: true });
        return object;
      }
      default: return element.textContent;
    }
  }

  let player = null;
  // The player failed: the host loads the page anew, so once per page is enough.
  let failedOnce = false;
  const failed = (why) => {
    if (failedOnce) return;
    failedOnce = true;
    post(message.failed, why);
  };
  // Ruffle builds a player in well under a second, a few on a busy machine; a
  // start still unsettled after this has stopped (its core is stuck).
  const startLimitMs = 20000;
  // A call from the host: <invoke name="N" returntype="xml"><arguments>...</arguments></invoke>.
  window.vornaskCallIn = (request) => {
    const root = new DOMParser().parseFromString(request, "application/xml").documentElement;
    if (!root || root.tagName !== "invoke" || root.getElementsByTagName("parsererror").length) {
      post(message.error, "malformed call into the movie");
      return;
    }
    const list = [...root.children].find((c) => c.tagName === "arguments");
    const args = list ? [...list.children].map(fromXml) : [];
    try {
      player?.ruffle().callExternalInterface(root.getAttribute("name") ?? "", ...args);
    } catch (e) {
      post(message.error, "call into the movie failed: " + e);
    }
  };

  // Plays the movie config.json names; a movie already playing makes way for it,
  // in the same page and with the same compiled Ruffle.
  async function start() {
    const config = await (await fetch("config.json")).json();
    // Only the ports the host allows, under both loopback names; Ruffle fails
    // any other socket with an IO error.
    const proxies = [];
    if (config.proxy)
      for (const host of ["127.0.0.1", "localhost"])
        for (const port of config.ports || []) proxies.push({ host, port, proxyUrl: config.proxy + port });
    stop();
    player = window.RufflePlayer.newest().createPlayer();
    document.body.appendChild(player);
    let timer;
    const stuck = new Promise((resolve) => (timer = setTimeout(resolve, startLimitMs, true)));
    const loaded = player.ruffle().load({
      url: config.movie,
      base: config.base,
      parameters: Object.fromEntries(new URLSearchParams(config.query || "")),
      allowScriptAccess: true,
      autoplay: "on",
      unmuteOverlay: "hidden",
      // A movie's full screen on a click or key, as a Flash Player granted it.
      allowFullscreen: true,
      splashScreen: false,
      contextMenu: "off",
      polyfills: false,
      letterbox: "off",
      wmode: config.wmode || "window",
      socketProxy: proxies,
      logLevel: "warn",
      // WebGL on a software GL takes several times the CPU and 100 MB more,
      // and the canvas leaves still frames to flash-player.frames.js.
      preferredRenderer: "canvas",
    });
    try {
      if (await Promise.race([loaded, stuck])) failed("it did not finish starting in " + startLimitMs / 1000 + " s");
    } finally {
      clearTimeout(timer);
    }
  }
  // Ends the movie with its sockets; the page stays for the next one.
  function stop() {
    player?.remove();
    player = null;
    post(message.stopped);
  }

  // Starts and stops run in the order the host asked for them.
  let queue = Promise.resolve();
  const then = (step) => {
    queue = queue.then(step).catch((e) => post(message.error, "the movie did not start: " + e));
  };
  window.vornaskLoad = () => then(start);
  window.vornaskStop = () => then(stop);

  // Ruffle says on its console when a socket has no proxy; the host records it.
  const refusedSocket = "Missing WebSocket proxy for host";
  // A panic of Ruffle's core: the movie is gone and the compiled player may be
  // left unusable; the host starts the page anew.
  const panicHead = "panicked at ";
  let refusalsTold = 0;
  for (const level of ["log", "info", "warn", "error", "debug"]) {
    const original = console[level];
    console[level] = (...parts) => {
      if (level === "error" && typeof parts[0] === "string" && parts[0].startsWith(panicHead))
        failed(parts[0].split("\n").filter(Boolean).slice(0, 2).join(" ").slice(0, 300));
      const text = parts.find((p) => typeof p === "string" && p.includes(refusedSocket));
      if (text !== undefined && refusalsTold < 100) {
        ++refusalsTold;
        post(message.error, "the movie's socket is refused: " + text.slice(text.indexOf(refusedSocket)).slice(0, 200));
      }
      return original.apply(console, parts);
    };
  }

  post(message.ready);
  window.RufflePlayer = window.RufflePlayer || {};
  window.RufflePlayer.config = { polyfills: false };
  document.addEventListener("DOMContentLoaded", window.vornaskLoad);
})();
