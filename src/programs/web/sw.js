// The folder edition's service worker: after the first visit the page works
// with the network gone.
//
// build.mjs defines TARNWEB_VERSION (a hash of the site's files) and
// TARNWEB_FILES (every file of the site, relative to this one). At install
// they all go into a cache named after the version and are served from there
// first; a new build is a new sw.js, and once it takes over, the caches of
// the older builds go. Exercise files (`?esercizio=...`) and anything else
// of this origin come from the network first and from the cache when the
// network is gone. Nothing of other origins is cached or even answered.
/* global TARNWEB_VERSION, TARNWEB_FILES */

const sitePrefix = 'tarnweb-sito-';
const siteCache = sitePrefix + TARNWEB_VERSION;
const fetchedCache = 'tarnweb-scaricati';
const scope = self.registration.scope;
const sitePaths = new Set(TARNWEB_FILES.map((file) => new URL(file, scope).pathname));
const exercisesPath = new URL('esercizi/', scope).pathname;

self.addEventListener('install', (event) => {
    event.waitUntil(
        caches
            .open(siteCache)
            // Straight from the server: the HTTP cache may still hold the older build.
            .then((cache) => cache.addAll(TARNWEB_FILES.map((file) => new Request(new URL(file, scope), { cache: 'reload' })))),
    );
});

// A new build waits for the pages of the older one to close rather than
// hand them files that do not match the ones they started with.
self.addEventListener('activate', (event) => {
    event.waitUntil(
        (async () => {
            for (const name of await caches.keys()) {
                if (name.startsWith(sitePrefix) && name !== siteCache) await caches.delete(name);
            }
            await self.clients.claim();
        })(),
    );
});

async function fromCacheFirst(request) {
    const cache = await caches.open(siteCache);
    const cached = await cache.match(request, { ignoreSearch: true });
    return cached ?? fetch(request);
}

async function fromNetworkFirst(request) {
    try {
        const response = await fetch(request);
        if (response.ok && response.type === 'basic') {
            const copy = response.clone();
            // A full cache costs the copy, not the answer.
            await caches
                .open(fetchedCache)
                .then((cache) => cache.put(request, copy))
                .catch(() => {});
        }
        return response;
    } catch (error) {
        const cached = (await caches.match(request, { cacheName: fetchedCache })) ??
            (await caches.match(request, { cacheName: siteCache, ignoreSearch: true }));
        if (cached) return cached;
        throw error;
    }
}

self.addEventListener('fetch', (event) => {
    const request = event.request;
    if (request.method !== 'GET') return;
    if (request.cache === 'only-if-cached' && request.mode !== 'same-origin') return;
    const url = new URL(request.url);
    if (url.origin !== self.location.origin) return;
    if (sitePaths.has(url.pathname) && !url.pathname.startsWith(exercisesPath)) {
        event.respondWith(fromCacheFirst(request));
    } else {
        event.respondWith(fromNetworkFirst(request));
    }
});
