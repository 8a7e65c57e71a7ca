// «Esegui»: a run as tarnsim runs it, in the worker, with its console and
// its output as they come, its trace («Tasto»), the words it waits for, and
// «Ferma» with the endless loop it was in.
import { defaultName } from './files.js';
import { failedText, waitingText } from './messages.js';
import { WorkerGone } from './worker-client.js';

export class Running {
    // work() gives { source, name, input }; stopWorker() stops the worker
    // (see WorkerClient.stopOrReplace); beforeRun() ends what a run replaces
    // (a session) and sessionOpen() tells whether one is open; onChange()
    // follows every change of the run's state.
    constructor({ client, messages, editor, machine, outputView, consoleView, consoleElement, wordBox, work, stopWorker, beforeRun, sessionOpen, onChange, focusKeepers }) {
        Object.assign(this, { client, messages, editor, machine, outputView, consoleView, consoleElement, wordBox, work, stopWorker, beforeRun, sessionOpen, onChange });
        // Where the focus may be when a trace moves it to the console.
        this.focusKeepers = focusKeepers;
        // null without a run; else 'starting', 'running', 'trace', 'input',
        // 'halted' or 'stopped'.
        this.state = null;
        this.active = false;
        this.executed = 0;
        // How much the run printed, where it was more than is shown.
        this.printedTotals = null;
        // Counts the runs: a loop found after one run is not told after another.
        this.started = 0;
        // The source of the last run, until the editor changes: "Registri"
        // and "Memoria" show the machine that run left, not the assembler's
        // image.
        this.ranSource = null;
    }

    // A run that has not ended (Esegui waits, Ferma stops it).
    get going() {
        return this.active && this.state !== 'halted' && this.state !== 'stopped';
    }

    get waitingForKey() {
        return this.active && this.state === 'trace';
    }

    get waitingForWord() {
        return this.active && this.state === 'input';
    }

    // Whether the machine shown is the one a run of `source` left.
    leftMachineOf(source) {
        return source === this.ranSource;
    }

    sourceChanged() {
        this.ranSource = null;
    }

    async start() {
        if (this.active) await this.stop();
        await this.beforeRun();
        const { source, name, input } = this.work();
        this.outputView.clear();
        this.consoleView.clear();
        this.printedTotals = null;
        this.ranSource = source;
        this.editor.setNextLine(null);
        this.wordBox.show(false);
        this.active = true;
        this.state = 'starting';
        this.started++;
        this.executed = 0;
        this.messages.say('Assemblo ed eseguo il programma…');
        this.onChange();
        let reply;
        try {
            reply = await this.client.run({ source, name: name || defaultName, input });
        } catch (error) {
            this.finish();
            if (!(error instanceof WorkerGone)) this.messages.say(`Impossibile eseguire il programma: ${error.message}`);
            return;
        }
        if (!reply.ok || reply.failed) {
            this.finish();
            this.ranSource = null;
            if (!reply.ok) this.messages.say(reply.error);
            else {
                this.messages.showDiagnostics(reply);
                this.messages.say(failedText);
            }
            return;
        }
        if (this.state === 'starting') this.state = 'running';
        this.onChange();
    }

    // An event of the worker's run.
    event(event) {
        // Until the run's reply, whatever comes is the end of an earlier run.
        if (event?.event !== 'run' || !this.active || this.state === 'starting') return;
        const { consoleView, outputView, messages } = this;
        consoleView.addBytes(event.console);
        outputView.addBytes(event.output);
        if (event.consoleCut) consoleView.cutHere();
        if (event.outputCut) outputView.cutHere();
        if (event.machine) this.machine.show(event.machine);
        this.printedTotals = { console: event.consoleTotal, output: event.outputTotal };
        // Waiting or over: what it shows is complete now, not at the next frame.
        if (event.state !== 'running') {
            consoleView.render();
            outputView.render();
        }
        if (typeof event.executed === 'number') this.executed = event.executed;
        const previous = this.state;
        this.state = event.state;
        const count = `istruzioni eseguite: ${this.executed}`;
        switch (event.state) {
            case 'trace':
                messages.say('Traccia: premi «Tasto», o un tasto qualsiasi nella console, per eseguire l\'istruzione mostrata.', count);
                if (previous !== 'trace') {
                    const active = document.activeElement;
                    if (!active || active === document.body || this.focusKeepers.includes(active)) this.consoleElement.focus();
                }
                this.wordBox.show(false);
                break;
            case 'input':
                messages.say(waitingText, count);
                this.wordBox.show(true);
                break;
            case 'halted':
                consoleView.flush();
                outputView.flush();
                this.finish();
                messages.say('Il programma è terminato.', count, ...this.cutTexts());
                break;
            case 'stopped':
                consoleView.flush();
                outputView.flush();
                this.finish();
                messages.say('Esecuzione fermata.', count, ...this.cutTexts());
                break;
            default:
                if (previous !== 'running') messages.sayCounting(count, 'Il programma è in esecuzione…');
                else messages.countTo(count);
                this.wordBox.show(false);
                break;
        }
        this.onChange();
    }

    cutTexts() {
        const texts = [];
        for (const [name, view, total] of [['Console', this.consoleView, this.printedTotals?.console], ['Uscita', this.outputView, this.printedTotals?.output]]) {
            if (view.cut && typeof total === 'number') texts.push(`«${name}»: il programma ha scritto ${total.toLocaleString('it-IT')} byte, qui si vede il primo MiB.`);
        }
        return texts;
    }

    finish() {
        this.active = false;
        this.state = null;
        this.wordBox.show(false);
        this.onChange();
    }

    // The run belongs to a work that goes: it stops without a word, its
    // last events ignored.
    abandon() {
        if (!this.active) return;
        this.finish();
        this.stopWorker();
    }

    // Stops the run; true when the worker stopped it (rather than being replaced).
    async stop() {
        if (!this.active) return false;
        const answered = await this.stopWorker();
        if (this.active) {
            this.consoleView.flush();
            this.outputView.flush();
            this.finish();
            this.messages.say(answered ? 'Esecuzione fermata.' : 'Il simulatore non rispondeva: è stato riavviato.', `istruzioni eseguite: ${this.executed}`);
        }
        return answered;
    }

    // «Ferma»: the run stops, and then the endless loop it was in, if the
    // worker proves one from where it stopped, is told in the words of the
    // debugger's "Continua".
    async stopByStudent() {
        if (await this.stop()) this.showLoop();
    }

    // Another run, a session or anything else the page said in the meantime
    // makes the loop moot.
    async showLoop() {
        const run = this.started;
        const told = this.messages.sayings;
        let reply;
        try {
            reply = await this.client.findRunLoop();
        } catch {
            return;
        }
        if (reply.ok && reply.loop && reply.message && !this.active && !this.sessionOpen() && run === this.started && told === this.messages.sayings) this.messages.add(reply.message);
    }

    // «Tasto», or a key in the console, during a trace.
    async key() {
        if (!this.waitingForKey) return;
        this.state = 'running';
        this.onChange();
        try {
            const reply = await this.client.key();
            if (!reply.ok) this.messages.say(reply.error);
        } catch {
            // The worker was restarted: nothing to continue.
        }
    }

    // The word in «Parola», or the end of the input.
    async answer(end) {
        const text = this.wordBox.text;
        this.state = 'running';
        this.wordBox.clear();
        this.wordBox.show(false);
        this.onChange();
        try {
            const reply = await (end ? this.client.endInput() : this.client.word(text));
            if (!reply.ok) this.messages.say(reply.error);
        } catch {
            // The worker was restarted.
        }
    }
}
