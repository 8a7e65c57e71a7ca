// The folder edition keeps working offline through its service worker
// (sw.js, beside index.html). The single file (TARNWEB_INLINE) and pages
// opened from file:// have none; neither has a page over plain http from
// another machine, where the browser offers no service workers at all.
function register() {
    navigator.serviceWorker.register('sw.js').catch((error) => {
        console.warn(`lavoro senza rete non disponibile: ${error.message}`);
    });
}

if (!globalThis.TARNWEB_INLINE && (location.protocol === 'http:' || location.protocol === 'https:') && 'serviceWorker' in navigator) {
    // After the page's own files: installing fetches them all once more.
    if (document.readyState === 'complete') register();
    else addEventListener('load', register, { once: true });
}
