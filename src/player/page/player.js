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
        if (new URL(request.url).protocol !== window.location.protocol)
            return nativeFetch(input, init);
        return new Promise((resolve, reject) => {
            const xhr = new XMLHttpRequest();
            xhr.open(request.method, request.url);
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

    window.RufflePlayer = window.RufflePlayer || {};
    window.RufflePlayer.config = { polyfills: false, logLevel: "error" };

    // Ruffle's own overlays never show: a bad movie leaves the plain background, a pause no play button.
    const hiddenOverlays =
        "#panic, #message-overlay, #splash-screen, #play-button, #unmute-overlay, #hardware-acceleration-modal " +
        "{ display: none !important; visibility: hidden !important; }";

    const state = {
        background: null, // "#rrggbb" or null for the movie's own
        menu: true,
        scale: "showAll",
        url: null,
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
                window.requestAnimationFrame(() => resolve());
        });
    }

    const stage = () => document.getElementById("stage");

    function removePlayer() {
        if (state.onVisible) {
            document.removeEventListener("visibilitychange", state.onVisible);
            state.onVisible = null;
        }
        if (state.player) {
            state.player.remove();
            state.player = null;
        }
        state.timelineStopped = false;
        state.suspended = false;
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
                            report("started", id);
                        }
                        return;
                    }
                }
            }
            await nextFrame();
        }
    }

    async function startMovie() {
        removePlayer();
        if (!state.url)
            return;
        const player = window.RufflePlayer.newest().createPlayer();
        const style = document.createElement("style");
        style.textContent = hiddenOverlays;
        player.shadowRoot.appendChild(style);
        // A movie Ruffle cannot play makes it panic and stop: only the plain background is left then.
        new MutationObserver(() => {
            if (state.player === player && player.shadowRoot.getElementById("panic")) {
                removePlayer();
                report("failed", state.id);
            }
        }).observe(player.shadowRoot, { childList: true, subtree: true });
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
        const config = {
            url: state.url,
            autoplay: "on",
            unmuteOverlay: "hidden",
            splashScreen: false,
            letterbox: "off",
            scale: state.scale,
            forceScale: true,
            quality: "high",
            menu: true,
            contextMenu: "on",
            allowFullscreen: false,
            showSwfDownload: false,
            warnOnUnsupportedContent: false,
            preloader: false,
            logLevel: "error",
        };
        if (state.background)
            config.backgroundColor = state.background;
        const firstFrame = watchFirstFrame(player, state.id);
        await player.ruffle().load(config);
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
    }

    window.qb = {
        // Settings that change how the current movie is shown restart it, unless a new movie follows.
        configure(settings) {
            return enqueue(async () => {
                const restart =
                    settings.restart &&
                    state.player &&
                    ((settings.background !== undefined && settings.background !== state.background) ||
                        (settings.scale !== undefined && settings.scale !== state.scale));
                if (settings.background !== undefined)
                    setBackground(settings.background);
                if (settings.scale !== undefined)
                    state.scale = settings.scale;
                if (settings.menu !== undefined)
                    state.menu = settings.menu;
                if (restart)
                    await startMovie();
            });
        },
        load(url, id) {
            return enqueue(async () => {
                state.url = url;
                state.id = id;
                await startMovie();
            });
        },
        clear(id) {
            return enqueue(async () => {
                state.url = null;
                state.id = id;
                removePlayer();
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
