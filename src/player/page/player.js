// The page behind every Flash player widget: one Ruffle player element, driven by the widget through
// window.qb, and reporting back through console messages that start with "qb:".
"use strict";

(function () {
    // Ruffle names its menu items in the browser's language, and the widget finds them by name.
    Object.defineProperty(Navigator.prototype, "language", { get: () => "en-US", configurable: true });
    Object.defineProperty(Navigator.prototype, "languages", { get: () => ["en-US"], configurable: true });

    // The web engine's fetch() refuses custom schemes while XMLHttpRequest serves them; Ruffle fetches its
    // wasm and the movies, so same-scheme requests go through XHR and come back as a real Response.
    const nativeFetch = window.fetch.bind(window);
    window.fetch = function (input, init) {
        let request;
        try {
            request = new Request(input, init);
        } catch (e) {
            return nativeFetch(input, init);
        }
        const target = siteTarget(request);
        if (target === null)
            return Promise.reject(new TypeError("Failed to fetch " + request.url));
        if (new URL(target).protocol !== window.location.protocol)
            return nativeFetch(input, init);
        return new Promise((resolve, reject) => {
            const xhr = new XMLHttpRequest();
            xhr.open(request.method, target);
            xhr.responseType = "arraybuffer";
            xhr.onload = () => {
                const status = xhr.status >= 200 && xhr.status <= 599 ? xhr.status : 200;
                const response = new Response(status === 204 || status === 304 ? null : xhr.response, {
                    status: status,
                    statusText: xhr.statusText,
                    headers: { "Content-Type": xhr.getResponseHeader("Content-Type") || "" },
                });
                Object.defineProperty(response, "url", { value: request.url });
                resolve(response);
            };
            xhr.onerror = () => reject(new TypeError("Failed to fetch " + request.url));
            xhr.onabort = () => reject(new DOMException("The request was aborted", "AbortError"));
            if (request.signal) {
                if (request.signal.aborted)
                    return xhr.onabort();
                request.signal.addEventListener("abort", () => xhr.abort());
            }
            xhr.send();
        });
    };

    // Where a request of the current movie goes. A game's files beside its movie (relative addresses, and for a
    // game from a server anything on its server's host) come from what the game keeps, under state.site.companions;
    // a game from a server runs under its server address (state.site.address), whose movie is the kept one. Of the
    // player's own addresses a movie reaches nothing else: not another game's movie or files. Other hosts, and what
    // a game sends its own server (a POST), go to the network as on the web. The URL to ask, or null to refuse.
    function siteTarget(request) {
        const site = state.site;
        if (!site || !state.url)
            return request.url;
        const url = new URL(request.url);
        url.hash = "";
        const own = new URL(state.url);
        if (site.address && url.href === new URL(site.address).href.split("#")[0])
            return state.url;
        const root = site.address ? new URL("/", site.address) : new URL("./", own);
        const beside = url.protocol === root.protocol && url.host === root.host &&
            url.pathname.startsWith(root.pathname) && url.href !== own.href;
        if (beside && request.method === "GET")
            return site.companions + url.pathname.slice(root.pathname.length) + url.search;
        if (url.protocol !== window.location.protocol)
            return request.url;
        const player = /^\/(ruffle|fonts)\//.test(url.pathname) || url.href === own.href;
        return player || url.href.startsWith(site.companions) ? request.url : null;
    }

    // Ruffle's instance drops its frame callback when it is destroyed, but a frame it asked for while the page
    // was hidden stays queued and, once the page shows again, runs the dropped closure ("closure invoked
    // recursively or after being dropped"). Frames asked for through window are Ruffle's (the page uses the
    // native call): they are counted, and cancelled with their player.
    const nativeRequestFrame = window.requestAnimationFrame.bind(window);
    const nativeCancelFrame = window.cancelAnimationFrame.bind(window);
    const pendingFrames = new Set();
    window.requestAnimationFrame = function (callback) {
        const id = nativeRequestFrame((time) => {
            pendingFrames.delete(id);
            callback(time);
        });
        pendingFrames.add(id);
        return id;
    };
    window.cancelAnimationFrame = function (id) {
        pendingFrames.delete(id);
        nativeCancelFrame(id);
    };
    function cancelPendingFrames() {
        pendingFrames.forEach((id) => nativeCancelFrame(id));
        pendingFrames.clear();
    }

    // The engine lets a movie enter full screen once per action of the user (a key, a click), so one that asks
    // every frame cannot make the windows flicker. Ruffle counts a request as granted at once: when it is
    // refused (by the engine, or by the widget), Ruffle is told that nothing changed.
    const nativeRequestFullscreen = Element.prototype.requestFullscreen;
    Element.prototype.requestFullscreen = function (options) {
        const unchanged = () => this.dispatchEvent(new Event("fullscreenchange"));
        return nativeRequestFullscreen.call(this, options).catch(unchanged);
    };

    // Ruffle keeps a movie's shared objects in local storage under the movie's address (host and path) and
    // the local path the movie chose. A path above its own ("/") would let every game read and clear every
    // other game's saves: the key of such an object is moved under the movie's own address (after "~", which
    // no shared object's name holds), where it is also found when the game's saves are forgotten.
    // A game from a server runs under its server address, but its saves stay under its file's, where they always were.
    let savesPrefix = null; // "app/flash/<movie>/", as Ruffle writes the current movie's address
    let rufflePrefix = null; // the same for the address Ruffle runs the movie under
    function ownKey(key) {
        if (!savesPrefix)
            return key;
        if (rufflePrefix !== savesPrefix) {
            const ruffleHost = rufflePrefix.slice(0, rufflePrefix.indexOf("/") + 1);
            if (key.startsWith(rufflePrefix))
                key = savesPrefix + key.slice(rufflePrefix.length);
            else if (key.startsWith(ruffleHost))
                key = savesPrefix.slice(0, savesPrefix.indexOf("/") + 1) + key.slice(ruffleHost.length);
        }
        return key.startsWith(savesPrefix) ? key : savesPrefix + "~" + key;
    }
    // Ruffle reads and writes the entries as named properties of window.localStorage.
    const storage = window.localStorage;
    const movieStorage = new Proxy(storage, {
        get(target, key) {
            if (typeof key !== "string" || key in Storage.prototype) {
                const value = Reflect.get(target, key);
                return typeof value === "function" ? value.bind(target) : value;
            }
            const value = target.getItem(ownKey(key));
            return value === null ? undefined : value;
        },
        set(target, key, value) {
            target.setItem(ownKey(key), value);
            return true;
        },
        deleteProperty(target, key) {
            target.removeItem(ownKey(key));
            return true;
        },
        has(target, key) {
            return key in Storage.prototype || target.getItem(ownKey(key)) !== null;
        },
    });
    Object.defineProperty(window, "localStorage", { get: () => movieStorage, configurable: true });

    window.RufflePlayer = window.RufflePlayer || {};
    window.RufflePlayer.config = { polyfills: false, logLevel: "error" };

    // Ruffle's own overlays never show: a bad movie leaves the page's message, a pause no play button.
    const hiddenOverlays =
        "#panic, #message-overlay, #splash-screen, #play-button, #unmute-overlay, #hardware-acceleration-modal " +
        "{ display: none !important; visibility: hidden !important; }";

    const state = {
        background: null, // "#rrggbb" where no movie is, or null for white
        menu: true,
        scale: "showAll",
        volume: 1, // linear, 1 is full
        quality: "high", // the next movie's; the running one may differ
        fonts: null, // {sources: [url], defaults: {sans: [names], ...}}: the device fonts
        stageSize: null, // the running movie's {width, height}
        stageColour: null, // the running movie's background colour, once its stage size is known
        movieColour: null, // the colour the widget read from the movie's first frame, or null
        firstFrameShown: false, // the running movie's
        url: null,
        site: null, // where the movie's files beside it come from: see siteTarget
        id: 0,
        player: null,
        // Set when Rewind or Forward stopped the timeline, so that Playing true plays on from there;
        // a timeline the movie stopped itself is left alone.
        timelineStopped: false,
        suspended: false, // paused by the widget
        userRightClicks: 0,
        onVisible: null, // the current player's visibility listener
    };

    function report(what, detail) {
        console.log("qb:" + what + (detail === undefined ? "" : " " + detail));
    }

    // A right click of the user reaches Ruffle only when the menu is on; the page's own synthetic
    // events (Rewind, Forward) always do.
    window.addEventListener(
        "contextmenu",
        (event) => {
            if (event.isTrusted)
                ++state.userRightClicks;
            if (event.isTrusted && !state.menu) {
                event.preventDefault();
                event.stopImmediatePropagation();
            }
        },
        true
    );

    // A hidden page gets no animation frames; its operations must not wait for it to be shown again.
    function nextFrame() {
        return new Promise((resolve) => {
            if (document.hidden)
                window.setTimeout(resolve, 16);
            else
                nativeRequestFrame(() => resolve());
        });
    }

    const stage = () => document.getElementById("stage");

    // A short text in the player area instead of a movie (why it cannot play); null takes it away.
    function showMessage(text) {
        const box = document.getElementById("message");
        box.textContent = text || "";
        box.hidden = !text;
    }

    // The movie's own background colour fills its stage, white for a movie that names none (as the player its
    // author saw it in drew it); the page's colour shows where no movie is and, when the whole movie is shown
    // (showAll), around its stage. Ruffle draws the stage transparent, on the element's colour.
    function layout() {
        const player = state.player;
        if (!player)
            return;
        const pageWidth = window.innerWidth;
        const pageHeight = window.innerHeight;
        let width = pageWidth;
        let height = pageHeight;
        const size = state.stageSize;
        if (state.scale === "showAll" && size && size.width > 0 && size.height > 0) {
            const scale = Math.min(pageWidth / size.width, pageHeight / size.height);
            width = Math.max(1, Math.round(size.width * scale));
            height = Math.max(1, Math.round(size.height * scale));
        }
        player.style.left = Math.floor((pageWidth - width) / 2) + "px";
        player.style.top = Math.floor((pageHeight - height) / 2) + "px";
        player.style.width = "calc(" + width + "px - var(--qb-nudge, 0px))";
        player.style.height = height + "px";
        if (size)
            player.style.backgroundColor = state.stageColour;
    }
    window.addEventListener("resize", layout);

    // Reasons a movie cannot play: Ruffle's panic (its panel never shows), read from the details it keeps.
    function panicKind(player) {
        const details = player.shadowRoot.querySelector("#panic-details-modal textarea");
        const text = details ? details.value : "";
        if (/panicked at|Ruffle is panicking/i.test(text))
            return "crash"; // Ruffle itself failed, and is of no use in this page any more
        if (/Invalid SWF|Not a valid swf|Malformed|decompress|fill whole buffer/i.test(text))
            return "invalid";
        if (/Failed to fetch|LoadSwfError/i.test(text))
            return "unreadable";
        if (/Failed to load Ruffle WASM/i.test(text))
            return "engine";
        return "crash";
    }

    function movieFailed(player, kind) {
        if (state.player !== player)
            return;
        const id = state.id;
        removePlayer();
        report("failed", id + " " + kind);
    }

    // Ruffle tells of some movies it cannot play only in its log: one that needs Stage3D, which needs WebGL
    // (its canvas renderer has none), one that draws into bitmaps, which that renderer cannot either, and,
    // before anything of it was drawn, one whose body it cannot read (a damaged compressed stream or tag) or
    // whose start stopped on a call to its web page (ExternalInterface); later, what it shows is left to
    // play. The log line comes from inside Ruffle's frame: the player goes after it.
    const failuresInLog = [
        { pattern: "Failed to create Context3d", kind: "3d", any: true },
        { pattern: "Render backend does not support BitmapData.draw", kind: "draw", any: true },
        { pattern: "Error #2067", kind: "page", any: false },
        { pattern: "Error decompressing SWF", kind: "invalid", any: false },
        { pattern: "Unexpected EOF when reading tag", kind: "invalid", any: false },
    ];
    const nativeLog = console.log.bind(console);
    console.log = function (...args) {
        const line = typeof args[0] === "string" ? args[0] : "";
        const failure = failuresInLog.find((f) => line.includes(f.pattern) && (f.any || !state.firstFrameShown));
        if (failure) {
            const player = state.player;
            window.setTimeout(() => movieFailed(player, failure.kind), 0);
        }
        nativeLog(...args);
    };

    function removePlayer() {
        if (state.onVisible) {
            document.removeEventListener("visibilitychange", state.onVisible);
            state.onVisible = null;
        }
        const player = state.player;
        state.player = null;
        if (player) {
            player.remove(); // destroys its Ruffle instance
            cancelPendingFrames();
        }
        state.timelineStopped = false;
        state.suspended = false;
        state.stageSize = null;
        state.stageColour = null;
        state.firstFrameShown = false;
    }

    // Before its movie arrives Ruffle fills the canvas with a colour of its own; the first frame is there
    // once the centre pixel differs from that fill, or one frame time later for a movie that starts in the
    // same colour. A WebGL canvas cannot be read back: there the frame after the data arrived is taken.
    function centrePixel(canvas) {
        const context = canvas.getContext("2d");
        if (!context)
            return null;
        return Array.from(context.getImageData(canvas.width >> 1, canvas.height >> 1, 1, 1).data).join(",");
    }

    async function watchFirstFrame(player, id) {
        let fill = null;
        let loadedAt = null;
        while (state.player === player && state.id === id) {
            const canvas = player.shadowRoot && player.shadowRoot.querySelector("canvas");
            const api = player.ruffle();
            if (canvas && canvas.width > 0 && canvas.height > 0) {
                const pixel = centrePixel(canvas);
                if (api.readyState < 2) {
                    fill = pixel;
                } else {
                    const now = performance.now();
                    if (loadedAt === null)
                        loadedAt = now;
                    const frameRate = (api.metadata && api.metadata.frameRate) || 12;
                    const drawn = pixel === null || (pixel !== fill && !pixel.endsWith(",0"));
                    if (drawn || now - loadedAt > 1000 / frameRate + 250) {
                        await nextFrame(); // composited
                        if (state.player === player && state.id === id) {
                            // The canvas already has Ruffle's context: asking for a 2D one only tells which.
                            report("renderer", canvas.getContext("2d") ? "canvas" : "webgl");
                            state.firstFrameShown = true;
                            report("started", id);
                        }
                        return;
                    }
                }
            }
            await nextFrame();
        }
    }

    // The page's focus always rests on the current player's container (where a click puts it), so keys reach
    // the movie whenever the widget has Qt's focus. Ruffle learns of its focus from the focusin it hears: a
    // player focused before its instance listened is focused afresh. Not the player element itself: that hands
    // the focus to Ruffle's hidden text input for touch screens, which sends every typed character twice.
    function focusPlayer() {
        const player = state.player;
        if (!player)
            return;
        const target = player.shadowRoot.getElementById("container") || player;
        if (player.shadowRoot.activeElement)
            player.shadowRoot.activeElement.blur();
        target.focus({ preventScroll: true });
    }

    async function startMovie() {
        removePlayer(); // the old movie's last saves go under its own address
        showMessage(null);
        savesPrefix = null;
        if (!state.url)
            return;
        const address = new URL(state.url);
        savesPrefix = address.host + address.pathname + "/";
        // Ruffle names saves by the host without its port.
        const runsAt = new URL(state.site && state.site.address ? state.site.address : state.url);
        rufflePrefix = runsAt.hostname + runsAt.pathname + "/";
        const player = window.RufflePlayer.newest().createPlayer();
        const style = document.createElement("style");
        style.textContent = hiddenOverlays;
        player.shadowRoot.appendChild(style);
        // A movie Ruffle cannot play makes it panic and stop; the widget says why in the player area.
        new MutationObserver(() => {
            if (state.player === player && player.shadowRoot.getElementById("panic"))
                movieFailed(player, panicKind(player));
        }).observe(player.shadowRoot, { childList: true, subtree: true });
        player.addEventListener("loadedmetadata", () => {
            if (state.player !== player)
                return;
            const metadata = player.ruffle().metadata;
            state.stageSize = { width: metadata.width, height: metadata.height };
            state.stageColour = metadata.backgroundColor || state.movieColour || "#ffffff";
            layout();
        });
        // Ruffle pauses a hidden page and, shown again, plays on if it played when hidden; a pause asked
        // for meanwhile must hold. Registered after Ruffle's own listener, so this one runs last.
        // Removed with its player: a listener left behind would keep the old player and its movie alive.
        state.onVisible = () => {
            if (state.player === player && !document.hidden && state.suspended)
                player.ruffle().suspend();
        };
        document.addEventListener("visibilitychange", state.onVisible);
        stage().appendChild(player);
        state.player = player;
        layout();
        const config = {
            url: state.site && state.site.address ? state.site.address : state.url,
            autoplay: "on",
            unmuteOverlay: "hidden",
            splashScreen: false,
            letterbox: "off",
            wmode: "transparent",
            scale: state.scale,
            forceScale: true,
            quality: state.quality,
            menu: true,
            contextMenu: "on",
            allowFullscreen: true,
            showSwfDownload: false,
            warnOnUnsupportedContent: false,
            logLevel: "error",
        };
        // Ruffle resolves a movie's relative addresses against the page unless told otherwise; a game's are its
        // movie's folder's, as on the web page that held it.
        if (state.site)
            config.base = new URL(".", config.url).href;
        if (state.fonts) {
            config.fontSources = state.fonts.sources;
            config.defaultFonts = state.fonts.defaults;
        }
        const firstFrame = watchFirstFrame(player, state.id);
        await player.ruffle().load(config);
        if (state.player === player) {
            player.ruffle().volume = state.volume;
            focusPlayer();
        }
        // Later operations (Rewind, Forward, pause) need the movie; a movie that never shows must not
        // hold them up for ever.
        await Promise.race([firstFrame, new Promise((resolve) => window.setTimeout(resolve, 5000))]);
    }

    function menuItem(player, text) {
        return player.shadowRoot.querySelector('#context-menu li.menu-item[data-text="' + text + '"]');
    }

    // Opens Ruffle's menu with a synthetic right click, runs `use` on it and closes it again, all in one
    // task so that the menu is never painted. Ruffle lists its playback items only while it runs.
    async function withMenu(use) {
        const player = state.player;
        if (!player || player.ruffle().readyState < 2)
            return;
        const api = player.ruffle();
        const paused = api.suspended;
        if (paused)
            api.resume();
        const box = player.getBoundingClientRect();
        player.dispatchEvent(
            new MouseEvent("contextmenu", {
                bubbles: true,
                cancelable: true,
                composed: true,
                button: 2,
                clientX: box.left + box.width / 2,
                clientY: box.top + box.height / 2,
            })
        );
        let result;
        try {
            result = await use(player);
        } finally {
            // Ruffle closes its menu on the next click anywhere; an item's click has done that already.
            const overlay = player.shadowRoot.getElementById("context-menu-overlay");
            if (overlay && !overlay.classList.contains("hidden")) {
                document.documentElement.dispatchEvent(new MouseEvent("click"));
                overlay.classList.add("hidden");
            }
            if (paused) {
                api.suspend();
                await repaint(player);
            }
        }
        return result;
    }

    async function repaint(player) {
        player.classList.add("qb-nudge");
        await nextFrame();
        await nextFrame();
        player.classList.remove("qb-nudge");
        await nextFrame();
    }

    async function clickItem(text) {
        return withMenu(async (player) => {
            const item = menuItem(player, text);
            if (!item || item.classList.contains("disabled"))
                return false;
            item.click();
            return true;
        });
    }

    // Everything the widget asks runs in order: loads and menu operations are asynchronous.
    let queue = Promise.resolve();
    let pending = 0;
    function enqueue(operation) {
        ++pending;
        queue = queue
            .then(operation)
            .catch((error) => report("error", String(error)))
            .then(() => --pending);
        return queue;
    }

    function setBackground(colour) {
        state.background = colour;
        document.documentElement.style.setProperty("--qb-background", colour || "#ffffff");
        // The message is read on that colour: light on dark, dark on light.
        const rgb = parseInt((colour || "#ffffff").slice(1), 16);
        const light = 0.299 * (rgb >> 16) + 0.587 * ((rgb >> 8) & 0xff) + 0.114 * (rgb & 0xff) > 128;
        document.documentElement.style.setProperty("--qb-message", light ? "#404040" : "#d0d0d0");
        layout();
    }

    const qualityItems = { low: "Quality: Low", medium: "Quality: Medium", high: "Quality: High" };

    window.qb = {
        // A new scale restarts the current movie, unless a new movie follows; every other setting applies
        // to the running movie as far as Ruffle can, and to every later one.
        configure(settings) {
            return enqueue(async () => {
                const restart = settings.restart && state.player && settings.scale !== undefined &&
                    settings.scale !== state.scale;
                if (settings.background !== undefined)
                    setBackground(settings.background);
                if (settings.scale !== undefined)
                    state.scale = settings.scale;
                if (settings.menu !== undefined)
                    state.menu = settings.menu;
                if (settings.fonts !== undefined)
                    state.fonts = settings.fonts;
                if (settings.volume !== undefined) {
                    state.volume = settings.volume;
                    if (state.player)
                        state.player.ruffle().volume = state.volume;
                }
                // Ruffle takes a quality when it starts; its menu changes low, medium and high on the way.
                // Best, or a movie that hides the menu, waits for the next start.
                const qualityChanged = settings.quality !== undefined && settings.quality !== state.quality;
                if (settings.quality !== undefined)
                    state.quality = settings.quality;
                if (restart)
                    await startMovie();
                else if (settings.restart && qualityChanged && qualityItems[state.quality])
                    await clickItem(qualityItems[state.quality]);
                else
                    layout();
            });
        },
        // site: {address, companions} (see siteTarget), or null for a movie that keeps no files; colour: the
        // "#rrggbb" its first frame names, for when Ruffle does not tell it.
        load(url, id, site, colour) {
            return enqueue(async () => {
                state.url = url;
                state.site = site || null;
                state.movieColour = colour || null;
                state.id = id;
                await startMovie();
            });
        },
        // No movie, and a message in its place when one is given.
        clear(id, message) {
            return enqueue(async () => {
                state.url = null;
                state.id = id;
                removePlayer();
                showMessage(message);
            });
        },
        // Why the movie of that load failed, once the widget has put it in words.
        explainFailure(id, message) {
            return enqueue(async () => {
                if (state.id === id && !state.player)
                    showMessage(message);
            });
        },
        setPlaying(playing) {
            return enqueue(async () => {
                const player = state.player;
                if (!player)
                    return;
                state.suspended = !playing;
                if (!playing) {
                    player.ruffle().suspend();
                    return;
                }
                player.ruffle().resume();
                if (state.timelineStopped) {
                    state.timelineStopped = false;
                    await withMenu(async (p) => {
                        const play = menuItem(p, "Play");
                        if (play && !play.classList.contains("checked"))
                            play.click();
                    });
                }
            });
        },
        forward() {
            return enqueue(async () => {
                if (await clickItem("Forward"))
                    state.timelineStopped = true;
            });
        },
        rewind() {
            return enqueue(async () => {
                if (await clickItem("Rewind"))
                    state.timelineStopped = true;
            });
        },
        focus() {
            focusPlayer();
        },
        // For tests: the captions Ruffle's menu shows checked for the running movie (opened and closed unseen).
        checkedMenuItems() {
            const player = state.player;
            if (!player)
                return [];
            const box = player.getBoundingClientRect();
            player.dispatchEvent(
                new MouseEvent("contextmenu", {
                    bubbles: true,
                    cancelable: true,
                    composed: true,
                    button: 2,
                    clientX: box.left + box.width / 2,
                    clientY: box.top + box.height / 2,
                })
            );
            const checked = Array.from(player.shadowRoot.querySelectorAll("#context-menu li.menu-item.checked")).map(
                (li) => li.dataset.text
            );
            document.documentElement.dispatchEvent(new MouseEvent("click"));
            player.shadowRoot.getElementById("context-menu-overlay").classList.add("hidden");
            return checked;
        },
        // For tests: the message shown in the player area.
        message() {
            const box = document.getElementById("message");
            return box.hidden ? "" : box.textContent;
        },
        // For tests: how many operations have not finished yet.
        pending() {
            return pending;
        },
        // For tests: whether a user's right click may open the menu, and how many the page has seen.
        menuEnabled() {
            return state.menu;
        },
        userRightClicks() {
            return state.userRightClicks;
        },
        // For tests: the captions of the menu that is open now (none when it is closed).
        openMenuItems() {
            const player = state.player;
            if (!player)
                return [];
            const overlay = player.shadowRoot.getElementById("context-menu-overlay");
            if (!overlay || overlay.classList.contains("hidden"))
                return [];
            return Array.from(player.shadowRoot.querySelectorAll("#context-menu li.menu-item")).map(
                (li) => li.dataset.text
            );
        },
    };
})();
