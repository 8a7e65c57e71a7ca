// The two wasm modules of the folder edition, of the same sources: the one
// whose run loop goes from cycle to cycle by tail calls, faster, and the one
// every browser runs. An engine that has tail calls (Chromium 112, Firefox
// 121, Safari 18.2 and later) gets the first; an older one the second. Each
// has its worker's script, whose glue matches that module's imports and
// exports alone. The page fetches one pair and the service worker keeps
// that one alone.
export const tailCallModule = 'tarnweb-tail.wasm';
export const plainModule = 'tarnweb.wasm';
export const tailCallWorker = 'worker-tail.js';
export const plainWorker = 'worker.js';

// The smallest module that uses return_call: a function that calls itself
// as its last act. It validates only where the engine has tail calls.
const tailCallProbe = new Uint8Array([
    0x00, 0x61, 0x73, 0x6d, 0x01, 0x00, 0x00, 0x00, // "\0asm", version 1
    0x01, 0x04, 0x01, 0x60, 0x00, 0x00, // types: () -> ()
    0x03, 0x02, 0x01, 0x00, // functions: one, of type 0
    0x0a, 0x06, 0x01, 0x04, 0x00, 0x12, 0x00, 0x0b, // code: return_call 0, end
]);

export function tailCallsSupported() {
    try {
        return typeof WebAssembly === 'object' && WebAssembly.validate(tailCallProbe);
    } catch {
        return false;
    }
}

// The module this engine runs and its worker's script, by file name.
export function editionForThisEngine() {
    return tailCallsSupported() ? { wasm: tailCallModule, worker: tailCallWorker } : { wasm: plainModule, worker: plainWorker };
}
