// The page's side of the worker: starts it with the wasm module, numbers the
// requests and matches the replies, hands run events to a listener, and can
// throw the worker away and start a fresh one (what "Ferma" does when the
// worker does not answer in time).

// Where the worker's script and the wasm come from: the folder edition
// fetches tarnweb.wasm next to the page; the single file has both inlined.
function defaultSources() {
    const inline = globalThis.TARNWEB_INLINE;
    if (inline && typeof inline.worker === 'string' && typeof inline.wasm === 'string') {
        return {
            inline: true,
            workerUrl: () => URL.createObjectURL(new Blob([inline.worker], { type: 'text/javascript' })),
            wasm: async () => decodeBase64(inline.wasm),
        };
    }
    return {
        inline: false,
        workerUrl: () => 'worker.js',
        wasm: async () => {
            const response = await fetch('tarnweb.wasm');
            if (!response.ok) throw new Error(`impossibile scaricare tarnweb.wasm (HTTP ${response.status})`);
            return response.arrayBuffer();
        },
    };
}

export function decodeBase64(text) {
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return bytes.buffer;
}

export const inlineEdition = () => defaultSources().inline;

// A worker that went away: pending requests end with this.
export class WorkerGone extends Error {}

export class WorkerClient {
    // onEvent(message) gets every message without an id (run events);
    // onRestart() is called after a fresh worker has been initialised.
    constructor({ onEvent = () => {}, onRestart = () => {}, sources = defaultSources() } = {}) {
        this.onEvent = onEvent;
        this.onRestart = onRestart;
        this.sources = sources;
        this.nextId = 1;
        this.pending = new Map();
        this.worker = null;
        this.wasm = null;
        this.info = null;
        this.ready = null;
    }

    // Starts the worker (once); resolves to init's reply: { mnemonics,
    // directives, numbers }.
    start() {
        if (!this.ready) this.ready = this.launch();
        return this.ready;
    }

    async launch() {
        if (!this.wasm) this.wasm = await this.sources.wasm();
        const url = this.sources.workerUrl();
        const worker = new Worker(url);
        if (url.startsWith('blob:')) URL.revokeObjectURL(url);
        this.worker = worker;
        worker.onmessage = (message) => this.receive(worker, message.data);
        worker.onerror = (event) => {
            event.preventDefault?.();
            this.fail(worker, new WorkerGone(`errore nel worker: ${event.message ?? 'sconosciuto'}`));
        };
        // A copy each time: the module is kept for the next worker.
        const reply = await this.send(worker, 'init', { wasm: this.wasm.slice(0) });
        if (!reply.ok) throw new Error(reply.error);
        this.info = { mnemonics: reply.mnemonics ?? [], directives: reply.directives ?? [], numbers: reply.numbers ?? null };
        return this.info;
    }

    receive(worker, data) {
        if (worker !== this.worker || !data || typeof data !== 'object') return;
        if (data.id === undefined || data.id === null) {
            this.onEvent(data);
            return;
        }
        const waiting = this.pending.get(data.id);
        if (!waiting) return;
        this.pending.delete(data.id);
        waiting.resolve(data);
    }

    fail(worker, error) {
        if (worker !== this.worker) return;
        for (const waiting of this.pending.values()) waiting.reject(error);
        this.pending.clear();
    }

    send(worker, op, args = {}) {
        const id = this.nextId++;
        return new Promise((resolve, reject) => {
            this.pending.set(id, { resolve, reject });
            worker.postMessage({ id, op, ...args });
        });
    }

    // Sends a request once the worker is ready; resolves to its reply
    // ({ ok: true, ... } or { ok: false, error }), rejects with WorkerGone
    // when the worker is thrown away before it answers.
    async request(op, args = {}) {
        await this.start();
        return this.send(this.worker, op, args);
    }

    // After "stop" has ended a run: the endless loop it was in, looked for
    // from where it stopped, a slice at a time; resolves to { ok, loop,
    // message }, loop ({ start, length, lines }) null when none was proved.
    findRunLoop() {
        return this.request('runLoop');
    }

    // Throws the worker away and starts another; pending requests reject.
    async restart() {
        const old = this.worker;
        if (old) {
            old.terminate();
            this.fail(old, new WorkerGone('il worker è stato fermato'));
        }
        this.worker = null;
        this.ready = this.launch();
        const info = await this.ready;
        this.onRestart(info);
        return info;
    }
}
