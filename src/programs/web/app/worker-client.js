// The page's side of the worker: starts it with the wasm module, numbers the
// requests and matches the replies, hands run events to a listener, and can
// throw the worker away and start a fresh one (what "Ferma" does when the
// worker does not answer in time). Each request of worker/protocol.js is a
// method of its own here: callers never spell a request's name.

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
    // directives, numbers, reference }.
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
        this.info = { mnemonics: reply.mnemonics ?? [], directives: reply.directives ?? [], numbers: reply.numbers ?? null, reference: reply.reference ?? [] };
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
    // when the worker is thrown away before it answers. The methods below
    // name every request the page makes.
    async request(op, args = {}) {
        await this.start();
        return this.send(this.worker, op, args);
    }

    // ---- the assembler

    // The diagnostics of a source: { failed, diagnostics, omitted, image }.
    assemble(source) {
        return this.request('assemble', { source });
    }

    // ---- a run as tarnsim shows it; its events go to onEvent

    // Starts a run: { failed } (with the diagnostics when it failed).
    run({ source, name, input }) {
        return this.request('run', { source, name, input });
    }

    // Goes on past a trace, as a key pressed in the console.
    key() {
        return this.request('key');
    }

    // The word an INP waits for, in a run or in a session.
    word(text) {
        return this.request('word', { text });
    }

    // The end of the input, in a run or in a session.
    endInput() {
        return this.request('endInput');
    }

    // Stops the run, or the session's continue or reverse.
    stop() {
        return this.request('stop');
    }

    // After "stop" has ended a run: the endless loop it was in, looked for
    // from where it stopped, a slice at a time; resolves to { ok, loop,
    // message }, loop ({ start, length, lines }) null when none was proved.
    findRunLoop() {
        return this.request('runLoop');
    }

    // Asks the worker to stop; when it does not answer within `within`
    // milliseconds, it is thrown away and a fresh one takes its place.
    // Resolves to true when it answered (or went away meanwhile), false when
    // it was replaced; rejects when the fresh one cannot start.
    async stopOrReplace(within) {
        const answer = this.stop().then(
            () => 'ok',
            () => 'gone',
        );
        let timer;
        const late = new Promise((resolve) => (timer = setTimeout(() => resolve('late'), within)));
        const outcome = await Promise.race([answer, late]);
        clearTimeout(timer);
        if (outcome !== 'late') return true;
        await this.replace();
        return false;
    }

    // ---- the debugger's session; each command resolves to { view, ... }

    // Starts a session: { failed, lines, view }.
    debug({ source, name, input }) {
        return this.request('debug', { source, name, input });
    }

    step() {
        return this.request('step');
    }

    back() {
        return this.request('back');
    }

    // Runs to the session's next stop, in slices; "continue" events tell
    // how far it has gone.
    continue() {
        return this.request('continue');
    }

    reverse() {
        return this.request('reverse');
    }

    // Back to the session's start.
    restart() {
        return this.request('restart');
    }

    // Up to `count` steps, for «Anima»: { stopped, view }, stopped when
    // something other than the count ended them.
    animate(count) {
        return this.request('animate', { count });
    }

    // The explanations where the session stands: { position, next, last },
    // next the instruction at PC (at opcode 0, that the machine stops
    // there), last the step that led here (null at position 0); see wasm/explain.cpp.
    explain() {
        return this.request('explain');
    }

    // To the step `position` of the history.
    goto(position) {
        return this.request('goto', { position });
    }

    breakpoint(address) {
        return this.request('breakpoint', { address });
    }

    breakpointLine(line) {
        return this.request('breakpointLine', { line });
    }

    watch(address) {
        return this.request('watch', { address });
    }

    whoWrote(address) {
        return this.request('whoWrote', { address });
    }

    // ---- exercises

    // Reads an exercise: { title, cases, hidden, total }.
    exercise(text, name) {
        return this.request('exercise', { text, name });
    }

    // Grades a source with the exercise's cases: { failed, results, points, hidden }.
    verify({ source, name }) {
        return this.request('verify', { source, name });
    }

    // Throws the worker away and starts another; pending requests reject.
    async replace() {
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
