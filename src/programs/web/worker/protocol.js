// The worker's side of the page's requests, over the wasm module's entry
// points (wasm/*.cpp). Kept apart from worker.js, which only wires it to
// the worker's messages, so that node runs it as it is.
//
// Every request { id, op, ...args } gets exactly one reply { id, ok, ... }.
// A run as tarnsim shows it, and the debugger's "continue", go on in slices
// of a few milliseconds, yielding between them to the message queue, where
// "stop" (or any other request) can reach them.
//
// A debugger view carries outputLength, the bytes the program has printed up
// to where the session stands, and output, a Uint8Array of those bytes the
// page has not been given yet (often none). What is printed up to a position
// is the same at every visit, so the page keeps every byte it was given and
// shows the first outputLength of them: going back shows fewer, and going
// forwards again needs nothing new.
//
// A run posts what it prints as it goes, up to SHOWN_BYTES of the console
// and of the output, which is all that the page shows of them; beyond, the
// bytes are only counted, never copied out of the module, posted or decoded,
// so that a program that prints for ever costs the page nothing more. The
// events also carry the run's machine when it waits or ends, and every
// QUIET_EVENT_MS while it runs; a continue posts how far it has gone as often.

const STATES = ['running', 'trace', 'input', 'halted'];

// How long a slice should take, and how often a run that prints nothing
// reports its progress.
const SLICE_MS = 6;
const QUIET_EVENT_MS = 100;
const FIRST_BUDGET = 20000;
const MIN_BUDGET = 1000;
const MAX_BUDGET = 50_000_000;

// What the page shows of each stream of a run ("Console", "Uscita").
export const SHOWN_BYTES = 1024 * 1024;

const now = () => (globalThis.performance ? performance.now() : Date.now());

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// A slice budget that follows the machine's speed: about SLICE_MS each.
class Budget {
    constructor() {
        this.value = FIRST_BUDGET;
    }
    measure(fn) {
        const start = now();
        const result = fn();
        const elapsed = now() - start;
        const scale = elapsed > 0.05 ? SLICE_MS / elapsed : 4;
        this.value = Math.round(Math.min(MAX_BUDGET, Math.max(MIN_BUDGET, this.value * Math.min(4, Math.max(0.25, scale)))));
        return result;
    }
}

// One stream of a run: the bytes printed, of which the first SHOWN_BYTES go
// to the page.
class ShownStream {
    constructor() {
        this.total = 0;
    }
    // Whether some bytes were left out.
    get cut() {
        return this.total > SHOWN_BYTES;
    }
    // The bytes the page still shows of the `size` bytes at `pointer`.
    take(heap, pointer, size) {
        const room = Math.max(0, SHOWN_BYTES - this.total);
        this.total += size;
        return heap.slice(pointer, pointer + Math.min(size, room));
    }
}

const asText = (value) => (typeof value === 'string' ? value : value === undefined || value === null ? '' : String(value));

// createModule: the emscripten glue's factory; post(message, transfer):
// sends to the page; schedule(fn): runs fn after the messages waiting.
export function createProtocol({ createModule, post, schedule }) {
    let module = null;
    let job = null;      // the run or the continue going on in slices: { cancel() }
    let mode = null;     // 'run' or 'debug': where word, endInput and stop go
    let runOpen = false;
    let outputGiven = 0;  // bytes of the session's output the page has
    let printed = null;   // the run's streams: { console, output }

    // Texts into the module's memory for the length of one call.
    function withTexts(texts, call) {
        const pointers = [];
        try {
            const args = [];
            for (const text of texts) {
                const bytes = encoder.encode(asText(text));
                const pointer = module._tw_alloc(bytes.length);
                pointers.push(pointer);
                module.HEAPU8.set(bytes, pointer);
                args.push(pointer, bytes.length);
            }
            return call(...args);
        } finally {
            for (const pointer of pointers) module._tw_free(pointer);
        }
    }
    const json = (pointer) => JSON.parse(decoder.decode(module.HEAPU8.subarray(pointer, pointer + module._tw_size())));
    const bytes = (pointer) => module.HEAPU8.slice(pointer, pointer + module._tw_size());
    const string = (pointer) => decoder.decode(module.HEAPU8.subarray(pointer, pointer + module._tw_size()));

    // What the run printed since the last take, as far as the page shows it,
    // and the machine when asked: an event's fields and what it transfers.
    function runTake(withMachine) {
        // The module's memory is read after each call, which may have grown it.
        const take = (stream, pointer) => stream.take(module.HEAPU8, pointer, module._tw_size());
        const consoleBytes = take(printed.console, module._tw_run_take_console());
        const output = take(printed.output, module._tw_run_take_output());
        const fields = {
            console: consoleBytes,
            output,
            consoleTotal: printed.console.total,
            outputTotal: printed.output.total,
            consoleCut: printed.console.cut,
            outputCut: printed.output.cut,
            executed: module._tw_run_executed(),
        };
        if (withMachine) fields.machine = json(module._tw_run_view());
        return [fields, [consoleBytes.buffer, output.buffer]];
    }

    // A result of the module: { ok: false, error } stays a failure.
    const result = (value) => (value && value.ok === false ? value : { ok: true, ...value });

    function stopJob() {
        if (job) {
            const stopped = job;
            job = null;
            stopped.cancel();
        }
    }

    // ---- a run as tarnsim shows it

    function startRunSlices() {
        if (job && job.kind === 'run') return;  // already going
        stopJob();
        const budget = new Budget();
        let lastMachine = now();
        let cancelled = false;
        const current = { kind: 'run', cancel: () => { cancelled = true; } };
        job = current;
        const slice = () => {
            if (cancelled || job !== current) return;
            const state = STATES[budget.measure(() => module._tw_run_slice(budget.value))] ?? 'halted';
            const time = now();
            const withMachine = state !== 'running' || time - lastMachine >= QUIET_EVENT_MS;
            const wasCut = printed.console.cut || printed.output.cut;
            const [fields, transfer] = runTake(withMachine);
            // Bytes, a cut just made, a pause or the end, or a while without news.
            if (fields.console.length > 0 || fields.output.length > 0 || withMachine || wasCut !== (fields.consoleCut || fields.outputCut)) {
                if (withMachine) lastMachine = time;
                post({ event: 'run', ...fields, state }, transfer);
            }
            if (state === 'running') {
                schedule(slice);
                return;
            }
            job = null;
            if (state === 'halted') {
                // Ended for good: nothing is left to stop.
                runOpen = false;
                module._tw_run_close();
            }
        };
        schedule(slice);
    }

    function stopRun() {
        stopJob();
        if (!runOpen) return;
        runOpen = false;
        const [fields, transfer] = runTake(true);
        module._tw_run_close();
        post({ event: 'run', ...fields, state: 'stopped' }, transfer);
    }

    // "runLoop": after "stop" ended a run, the search for the endless loop
    // it was in, from where it stopped, in slices like a run's; any other
    // request that stops jobs gives it up. { loop, message }: loop null when
    // none was proved.
    function lookForRunLoop(reply) {
        slicedJob('loop', reply, () => ({ ok: true, loop: null, message: '' }), (budget) => {
            const answer = json(module._tw_run_loop_slice(budget));
            return answer.done ? { ok: true, loop: answer.loop, message: answer.message } : undefined;
        });
    }

    // A job that goes on in slices, yielding between them, until step(budget)
    // gives the answer that ends it (undefined: go on); when another request
    // stops it, cancelled() gives its answer.
    function slicedJob(kind, reply, cancelled, step) {
        stopJob();
        const budget = new Budget();
        let finished = false;
        const finish = (answer) => {
            if (finished) return;
            finished = true;
            if (job === current) job = null;
            reply(answer);
        };
        const current = { kind, cancel: () => finish(cancelled()) };
        job = current;
        const slice = () => {
            if (finished) return;
            let answer;
            try {
                answer = budget.measure(() => step(budget.value));
            } catch (error) {
                finish({ ok: false, error: internalError(error) });
                return;
            }
            if (answer === undefined) schedule(slice);
            else finish(answer);
        };
        slice();
    }

    // ---- the debugger

    const debug = (op, number = 0, text = '') =>
        result(withTexts([op, text], (o, ol, t, tl) => json(module._tw_debug(o, ol, Number(number), t, tl))));

    // A reply about to leave: a view gets the printed bytes the page lacks.
    function withOutput(answer) {
        const view = answer && answer.view;
        if (!view || typeof view.outputLength !== 'number') return [answer, []];
        const output = view.outputLength > outputGiven ? bytes(module._tw_debug_output(outputGiven)) : new Uint8Array(0);
        outputGiven += output.length;
        return [{ ...answer, view: { ...view, output } }, [output.buffer]];
    }

    // "continue": slices until a stop of the session's own, or "stop".
    function continueSession(reply) {
        // Stopped between slices: where the session stands, and how far it went.
        let steps = 0;
        let lastProgress = now();
        slicedJob('continue', reply, () => debug('interrupted', steps), (budget) => {
            const answer = debug('continue', budget);
            steps += answer.steps ?? 0;
            if (!answer.ok || answer.done) return answer;
            // How far it has gone.
            const time = now();
            if (time - lastProgress >= QUIET_EVENT_MS) {
                lastProgress = time;
                post({ event: 'continue', position: answer.view.position });
            }
            return undefined;
        });
    }

    // ---- requests

    const handlers = {
        init({ wasm }) {
            if (module) return { ok: true, ...json(module._tw_init()) };
            if (!wasm) return { ok: false, error: 'Manca il modulo WebAssembly.' };
            return createModule({ wasmBinary: new Uint8Array(wasm), print: () => {}, printErr: () => {} }).then((created) => {
                module = created;
                return { ok: true, ...json(module._tw_init()) };
            });
        },
        assemble({ source, name }) {
            return result(withTexts([source, name], (s, sl, n, nl) => json(module._tw_assemble(s, sl, n, nl))));
        },
        run({ source, name, input }) {
            stopRun();
            stopJob();
            mode = 'run';
            const answer = result(withTexts([source, name, input], (s, sl, n, nl, i, il) =>
                json(module._tw_run_start(s, sl, n, nl, i, il))));
            if (answer.ok && !answer.failed) {
                runOpen = true;
                printed = { console: new ShownStream(), output: new ShownStream() };
                startRunSlices();
                return { ok: true, failed: false };
            }
            return answer;
        },
        key() {
            if (mode !== 'run' || !runOpen) return { ok: false, error: 'Nessun programma in esecuzione.' };
            module._tw_run_key();
            startRunSlices();
            return { ok: true };
        },
        word({ text }) {
            if (mode === 'debug') return debug('word', 0, text);
            if (!runOpen) return { ok: false, error: 'Nessun programma in esecuzione.' };
            const error = withTexts([text], (t, tl) => string(module._tw_run_word(t, tl)));
            if (error) return { ok: false, error };
            startRunSlices();
            return { ok: true };
        },
        endInput() {
            if (mode === 'debug') return debug('endInput');
            if (!runOpen) return { ok: false, error: 'Nessun programma in esecuzione.' };
            module._tw_run_end_input();
            startRunSlices();
            return { ok: true };
        },
        stop() {
            if (mode === 'run') {
                // Where the run stands is kept for "runLoop" before it goes.
                if (runOpen) module._tw_run_loop_start();
                stopRun();
            } else stopJob();
            return { ok: true };
        },
        debug({ source, name, input }) {
            stopRun();
            stopJob();
            mode = 'debug';
            outputGiven = 0;
            return result(withTexts([source, name, input], (s, sl, n, nl, i, il) =>
                json(module._tw_debug_start(s, sl, n, nl, i, il))));
        },
        exercise({ text, name }) {
            return result(withTexts([text, name], (t, tl, n, nl) => json(module._tw_exercise(t, tl, n, nl))));
        },
        // The explanations of the session's coming instruction and last step.
        explain() {
            if (mode !== 'debug') return { ok: false, error: 'Nessun programma nel debugger: avvialo prima.' };
            return result(json(module._tw_debug_explain()));
        },
        verify({ source, name }) {
            return result(withTexts([source, name], (s, sl, n, nl) => json(module._tw_verify(s, sl, n, nl))));
        },
    };
    // The session's commands, each with the field of the number it takes:
    // each is a request of its own, and each ends a continue first.
    const sessionCommands = {
        step: null,
        back: null,
        reverse: null,
        restart: null,
        goto: 'position',
        animate: 'count',
        breakpoint: 'address',
        breakpointLine: 'line',
        watch: 'address',
        whoWrote: 'address',
    };
    for (const [op, field] of Object.entries(sessionCommands)) handlers[op] = (message) => (field ? debug(op, message[field]) : debug(op));
    const isSessionCommand = (op) => Object.prototype.hasOwnProperty.call(sessionCommands, op);

    function internalError(error) {
        return `Errore interno del simulatore: ${error && error.message ? error.message : String(error)}`;
    }

    // Handles one message from the page.
    return function handle(message) {
        if (!message || typeof message !== 'object') return;
        const { id, op } = message;
        const reply = (answer) => {
            const [sent, transfer] = withOutput(answer);
            post({ ...sent, id }, transfer);
        };
        if (op !== 'init' && !module) {
            reply({ ok: false, error: 'Il simulatore non è ancora pronto.' });
            return;
        }
        if (op === 'runLoop') {
            lookForRunLoop(reply);
            return;
        }
        if (op === 'continue') {
            if (mode !== 'debug') {
                reply({ ok: false, error: 'Nessun programma nel debugger: avvialo prima.' });
                return;
            }
            continueSession(reply);
            return;
        }
        const handler = Object.prototype.hasOwnProperty.call(handlers, op) ? handlers[op] : null;
        if (!handler) {
            reply({ ok: false, error: `Richiesta sconosciuta: ${asText(op)}` });
            return;
        }
        // A command of the session ends a continue first.
        if (isSessionCommand(op) || (mode === 'debug' && (op === 'word' || op === 'endInput'))) stopJob();
        try {
            const answer = handler(message);
            if (answer && typeof answer.then === 'function')
                answer.then(reply, (error) => reply({ ok: false, error: internalError(error) }));
            else reply(answer);
        } catch (error) {
            reply({ ok: false, error: internalError(error) });
        }
    };
}
