// The debugger's session: started by the first command on the editor's
// source, it shows each view the worker gives (the machine, the next line,
// what the program printed, the breakpoints) and ends when the source
// changes or another work comes. Its commands are methods (step(), back(),
// continue(), ...); whoever draws a view of its own reads `view` and
// subscribes with onView().
import { defaultName } from './files.js';
import { failedText, waitingText } from './messages.js';
import { WorkerGone } from './worker-client.js';

const stoppedFirst = 'Fermato: il debug è iniziato, ma nessuna istruzione è stata eseguita. La riga evidenziata è la prima; «Passo» la esegue.';

// What the commands the debugger has no words for did (the session tells
// the others in view.message).
const commandTexts = {
    word: 'Parola data al programma.',
    endInput: 'Ingresso finito: il prossimo INP non leggerà nulla.',
};

// What the commands that may take a while say while they run (a continue
// then tells how far it has gone).
const runningTexts = {
    continue: 'Continuo fino al prossimo arresto: «Ferma» interrompe.',
    reverse: 'Torno indietro fino all\'arresto precedente…',
};

// Whether a session just started for op stops before its first instruction:
// a step or a continue would run it, and the warning about it, which the
// session shows before it runs, would never be read.
const warnsFirst = (op, view) => (op === 'step' || op === 'continue') && view?.warnings?.length > 0;

// What the session's program printed: every byte the worker gave (it gives
// each one once), of which a view shows the first outputLength.
class Printed {
    constructor(output) {
        this.outputView = output;
        this.clear();
    }

    clear() {
        this.bytes = new Uint8Array(0);
        this.count = 0;
        this.shown = null;
    }

    // Keeps the new bytes a view brings; a view is taken only once.
    take(view) {
        const bytes = view.output;
        view.output = null;
        if (!(bytes instanceof Uint8Array) || bytes.length === 0) return;
        if (this.count + bytes.length > this.bytes.length) {
            const larger = new Uint8Array(Math.max(this.bytes.length * 2, this.count + bytes.length));
            larger.set(this.bytes.subarray(0, this.count));
            this.bytes = larger;
        }
        this.bytes.set(bytes, this.count);
        this.count += bytes.length;
    }

    show(view) {
        const length = Math.min(Number(view.outputLength) || 0, this.count);
        const shown = `${length} ${Boolean(view.outputCut)}`;
        if (shown === this.shown) return;
        this.shown = shown;
        this.outputView.setText(new TextDecoder().decode(this.bytes.subarray(0, length)), Boolean(view.outputCut));
    }
}

export class Session {
    // work() gives { source, name, input }; stopRun() stops a run before a
    // session starts; stopWorker() stops the worker (see
    // WorkerClient.stopOrReplace); blocked() tells whether something else (a
    // verification) holds the worker; onChange() follows `busy` and `open`.
    constructor({ client, messages, editor, machine, outputView, consoleView, wordBox, work, stopRun, stopWorker, blocked, onChange }) {
        Object.assign(this, { client, messages, editor, machine, outputView, consoleView, wordBox, work, stopRun, stopWorker, blocked, onChange });
        this.printed = new Printed(outputView);
        this.open = false;
        // The session's last view, null without a session.
        this.view = null;
        // The command in flight, if any ('debug' while the session starts,
        // 'continue', 'step', 'breakpointLine', ...).
        this.busy = null;
        // What a word (or the end of the input) resumes: 'step' or
        // 'continue', as the command that met the INP waiting for it.
        this.resumeAfterInput = 'step';
        // How many times "Ferma" was pressed: a command that sees the count
        // change while its session starts gives up the rest.
        this.stopsAsked = 0;
        this.viewListeners = new Set();
    }

    // listener(view) is called with every view the session shows, and with
    // null when the session ends; returns what unsubscribes it.
    onView(listener) {
        this.viewListeners.add(listener);
        return () => this.viewListeners.delete(listener);
    }

    tellView() {
        for (const listener of this.viewListeners) listener(this.view);
    }

    // A command that may take a while, which «Ferma» interrupts.
    get interruptible() {
        return this.busy === 'continue' || this.busy === 'reverse' || this.busy === 'debug';
    }

    // ---- the commands

    step() {
        return this.command('step', () => this.client.step());
    }

    back() {
        return this.command('back', () => this.client.back());
    }

    continue() {
        return this.command('continue', () => this.client.continue());
    }

    reverse() {
        return this.command('reverse', () => this.client.reverse());
    }

    restart() {
        return this.command('restart', () => this.client.restart());
    }

    // Opens the session without running anything, when there is none.
    begin() {
        return this.open ? undefined : this.command('begin', null);
    }

    // Up to `count` steps at once, for «Anima»: they stop where a continue
    // stops (a breakpoint, a warning, the end, an INP waiting). Resolves to
    // the worker's reply ({ stopped, view }), or nothing when it did not run.
    advance(count) {
        return this.command('animate', () => this.client.animate(count));
    }

    // To the step `position` of the history, exactly.
    goTo(position) {
        return this.command('goto', () => this.client.goto(position));
    }

    watch(address) {
        return this.command('watch', () => this.client.watch(address));
    }

    whoWrote(address) {
        return this.command('whoWrote', () => this.client.whoWrote(address));
    }

    // The word in «Parola», or the end of the input.
    answer(end) {
        const text = this.wordBox.text;
        this.wordBox.clear();
        return end ? this.command('endInput', () => this.client.endInput()) : this.command('word', () => this.client.word(text));
    }

    // ---- the session's life

    // What the source shows of a session: the next line, the lines'
    // addresses and an endless loop's lines; all gone without one.
    clearMarks() {
        this.editor.setNextLine(null);
        this.editor.setAddresses(null);
        this.editor.setLoopLines([]);
    }

    end(message) {
        if (!this.open) return;
        this.open = false;
        this.view = null;
        this.clearMarks();
        this.tellView();
        this.wordBox.show(false);
        if (this.busy === 'continue' || this.busy === 'reverse') this.client.stop().catch(() => {});
        if (message) this.messages.say(message);
        this.onChange();
    }

    // A fresh worker knows nothing of the session.
    workerReplaced() {
        if (!this.open) return;
        this.open = false;
        this.view = null;
        this.clearMarks();
        this.tellView();
    }

    // «Ferma»: counted first, whatever it stops.
    countStop() {
        this.stopsAsked++;
    }

    // «Ferma» with no run nor verification going.
    async stop() {
        // A session that is starting stops before its first instruction:
        // the command that started it sees stopsAsked.
        if (this.busy === 'debug') return;
        if (this.busy) {
            const answered = await this.stopWorker();
            if (!answered) this.messages.add('Il simulatore non rispondeva: è stato riavviato.');
        }
    }

    // How far a continue has gone, while it goes on.
    progress(event) {
        if (!this.open || this.busy !== 'continue') return;
        this.messages.countTo(`istruzioni eseguite: ${Number(event.position) || 0}`);
    }

    // Starts a session on the editor's source, for the command op; false
    // when it could not start. stopped() tells whether "Ferma" came meanwhile.
    async start(op, stopped) {
        await this.stopRun();
        const { source, name, input } = this.work();
        const reply = await this.client.debug({ source, name: name || defaultName, input });
        if (!reply.ok) {
            this.messages.say(reply.error);
            return false;
        }
        if (reply.failed) {
            this.messages.showDiagnostics(reply);
            this.messages.say(failedText);
            return false;
        }
        if (source !== this.editor.text()) return false;
        this.open = true;
        this.resumeAfterInput = 'step';
        this.editor.setAddresses(reply.lines);
        this.outputView.clear();
        this.consoleView.clear();
        this.printed.clear();
        let view = reply.view;
        this.printed.take(view);
        const problems = [];
        for (const line of this.editor.breakpoints()) {
            const answer = await this.client.breakpointLine(line);
            if (answer.ok) {
                view = answer.view;
                this.printed.take(view);
            } else {
                problems.push(`Riga ${line}: ${answer.error}`);
            }
        }
        const warning = warnsFirst(op, view) ? [`Avviso: ${view.warnings[0]}`] : [];
        const said = stopped()
            ? [stoppedFirst, ...warning]
            : warning.length > 0
              ? [...warning, 'Debug iniziato: la riga evidenziata è la prima istruzione, non ancora eseguita; «Passo» la esegue.']
              : ['Debug iniziato: la riga evidenziata è la prossima istruzione.'];
        this.show({ ...view, message: '' }, [...said, ...problems]);
        return true;
    }

    // The view of the session; `said` is the page's own message, shown when
    // the session has nothing to tell. Counting, the count of instructions
    // goes on in its line, and nothing else is said unless the view has a
    // message or a warning.
    show(view, said = [], { counting = false } = {}) {
        if (!view) return;
        const { editor } = this;
        this.printed.take(view);
        this.view = view;
        this.machine.show(view);
        editor.setNextLine(view.line ?? null);
        editor.setLoopLines(view.loop?.lines ?? [], view.loop?.rewritten ?? []);
        this.printed.show(view);
        if (Array.isArray(view.breakpointLines)) {
            const shown = editor.breakpoints();
            const wanted = [...view.breakpointLines].sort((a, b) => a - b);
            if (shown.join() !== wanted.join()) editor.setBreakpoints(wanted);
        }
        const told = view.message ? [view.message] : said;
        // A run stopped by a warning has already said it ("Avviso: ...").
        const warnings = (view.warnings ?? []).filter((w) => !told.some((t) => t.endsWith(w)));
        if (counting && told.every((t) => !t) && warnings.length === 0) this.messages.countTo(`istruzioni eseguite: ${view.position}`);
        else this.messages.say(...told, ...warnings, `istruzioni eseguite: ${view.position}`);
        this.wordBox.show(Boolean(view.needsInput));
        if (view.needsInput && !/aspetta una parola/.test(view.message ?? '')) this.messages.add(waitingText);
        this.tellView();
    }

    setBusy(op) {
        this.busy = op;
        this.onChange();
    }

    // Runs the command op, whose request send() makes, starting the session
    // first when there is none.
    async command(op, send) {
        if (this.busy || this.blocked()) return;
        this.setBusy(op);
        const stops = this.stopsAsked;
        const stopped = () => this.stopsAsked !== stops;
        try {
            const started = !this.open;
            if (started) {
                this.setBusy('debug');
                if (!(await this.start(op, stopped))) return;
                this.setBusy(op);
                if (op === 'restart' || op === 'begin') return;
            }
            // A warning about the first instruction is read before it runs,
            // and "Ferma" while the session started stops it there too: the
            // command that started the session goes no further.
            if (started && (warnsFirst(op, this.view) || stopped())) return;
            if (runningTexts[op]) this.messages.sayCounting(`istruzioni eseguite: ${this.view?.position ?? 0}`, runningTexts[op]);
            // A step at an INP that waits asks for the word first.
            if (op === 'step' && this.view?.needsInput) {
                this.resumeAfterInput = 'step';
                this.show(this.view);
                this.wordBox.focus();
                return;
            }
            const reply = await send();
            if (!this.open) return;
            if (!reply.ok) {
                this.messages.say(reply.error);
                return;
            }
            // An animation's steps that nothing stopped only count.
            this.show(reply.view, [commandTexts[op] ?? ''], { counting: op === 'animate' && !reply.stopped });
            if (reply.view.needsInput && (op === 'continue' || op === 'step')) this.resumeAfterInput = op === 'continue' ? 'continue' : 'step';
            // Given the word, the command that waited for it goes on, unless
            // the word brings a warning: the next command runs the INP.
            if (reply.warning) this.resumeAfterInput = 'step';
            else if ((op === 'word' || op === 'endInput') && !reply.view.needsInput && !reply.view.halted) {
                const next = this.resumeAfterInput;
                this.resumeAfterInput = 'step';
                this.busy = null;
                await (next === 'continue' ? this.continue() : this.step());
            }
            return reply;
        } catch (error) {
            if (error instanceof WorkerGone) this.end('La sessione di debug è finita: il simulatore è stato riavviato.');
            else this.messages.say(`Errore: ${error.message}`);
        } finally {
            this.setBusy(null);
        }
    }

    // ---- breakpoints

    // A breakpoint toggled in the editor (gutter or "Punto di arresto"): the
    // session, if any, follows; a line it refuses loses its mark again.
    async breakpointToggled(line) {
        const { editor, messages } = this;
        if (!this.open) {
            // Without a session the mark waits in the editor for the next one.
            messages.say(editor.breakpoints().includes(line) ? `Punto di arresto alla riga ${line}.` : `Tolto il punto di arresto alla riga ${line}.`);
            return;
        }
        if (this.busy) {
            // A session busy with another request: the mark goes back.
            editor.toggleBreakpointAt(line);
            messages.say('Il debugger è occupato: riprova tra un attimo.');
            return;
        }
        this.setBusy('breakpointLine');
        try {
            const reply = await this.client.breakpointLine(line);
            if (!this.open) return;
            if (!reply.ok) {
                editor.toggleBreakpointAt(line);
                messages.say(reply.error);
                return;
            }
            this.show(reply.view);
        } catch (error) {
            if (error instanceof WorkerGone) this.end('La sessione di debug è finita: il simulatore è stato riavviato.');
        } finally {
            this.setBusy(null);
        }
    }

    // «Punto di arresto», or k: the line of the editor's cursor.
    toggleBreakpointAtCursor() {
        const line = this.editor.cursorLine();
        this.editor.toggleBreakpointAt(line);
        this.breakpointToggled(line);
    }
}
