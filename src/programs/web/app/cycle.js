// The cycle of the debugger's session made visible: «Processore» and
// «Spiegazione» show the step just made, and «Fase» (key f) goes through the
// coming instruction one phase at a time: Prelievo, where the registers
// already show what the fetch put in IR, A, B and PC; Decodifica; then the
// press that shows Esecuzione makes the step, exactly as «Passo». While
// Prelievo or Decodifica is shown, «Indietro» goes back one phase.
//
// The explanations come from the worker (explain: the instruction at PC and
// the step that led here), asked once for each view the session shows, at
// most one request at a time.
import { phaseNames, phaseText } from './explanation.js';

const hex = (n) => `0x${(Number(n) & 0xff).toString(16).toUpperCase().padStart(2, '0')}`;

const noStep = 'Ancora nessun passo da spiegare: premi «Passo» o «Fase».';

export class Cycle {
    // processor: a ProcessorView; explanation: an ExplanationView; machine:
    // the MachineView of «Registri» and «Memoria».
    constructor({ client, session, machine, processor, explanation }) {
        Object.assign(this, { client, session, machine, processor, explanation });
        // How many phases of the coming instruction are shown: 0, 1
        // (Prelievo), 2 (Decodifica), or 3 (Esecuzione) on a machine that
        // has stopped, whose instruction is never executed.
        this.shown = 0;
        // The worker's explanations where the session stands: { session,
        // position, next, last }, or null.
        this.explained = null;
        // Each session's views are told from those of the one before.
        this.sessionCount = 0;
        this.position = null;
        this.inFlight = null;
        this.again = false;
        // Whether «Registri» shows the fetch's registers.
        this.overlaid = false;
        session.onView((view) => this.viewShown(view));
        this.render();
    }

    viewShown(view) {
        if (!view) {
            this.position = null;
            this.shown = 0;
            this.explained = null;
            this.overlaid = false;
            this.render();
            return;
        }
        if (this.position === null) this.sessionCount++;
        if (view.position !== this.position) this.shown = 0;
        this.position = view.position;
        // The view drew «Registri» itself.
        this.overlaid = false;
        this.render();
        this.refresh();
    }

    // Whether the explanations are those of where the session stands.
    get current() {
        const view = this.session.view;
        return Boolean(view && this.explained && this.explained.session === this.sessionCount && this.explained.position === view.position);
    }

    // Asks the worker for the explanations where the session stands.
    refresh() {
        if (this.inFlight) {
            this.again = true;
            return this.inFlight;
        }
        this.inFlight = (async () => {
            try {
                do {
                    this.again = false;
                    const count = this.sessionCount;
                    const reply = await this.client.explain();
                    if (reply.ok && this.session.open && count === this.sessionCount && reply.position === this.session.view?.position) {
                        this.explained = { session: count, position: reply.position, next: reply.next ?? null, last: reply.last ?? null };
                        this.render();
                    }
                } while (this.again && this.session.open);
            } catch {
                // A worker replaced: the session ends, and says so.
            } finally {
                this.inFlight = null;
            }
        })();
        return this.inFlight;
    }

    // «Fase»: the next phase of the coming instruction.
    async phase(blocked) {
        const { session } = this;
        if (session.busy || blocked) return;
        if (!session.open) {
            await session.begin();
            if (!session.open) return;
        }
        const view = session.view;
        // After Decodifica the step; on a machine that has stopped there is
        // none, and Esecuzione tells why, before the step says so.
        if (this.shown >= (view.halted ? 3 : 2)) {
            await session.step();
            return;
        }
        if (!this.current) await this.refresh();
        if (!this.current || session.view !== view || !this.explained.next) return;
        this.shown++;
        this.render();
    }

    // «Indietro»: a phase back while one of the coming instruction is shown,
    // a step back otherwise.
    back() {
        if (this.session.busy) return undefined;
        if (this.shown > 0) {
            this.shown--;
            this.render();
            return undefined;
        }
        return this.session.back();
    }

    // The phase shown, for the buttons and the tests.
    get phaseShown() {
        return this.shown > 0 ? phaseNames[this.shown - 1] : null;
    }

    render() {
        const view = this.session.view;
        if (!view) {
            this.processor.show({ registers: null, explanation: null, phase: null, text: '' });
            this.explanation.show(null, noStep);
            return;
        }
        const explained = this.current ? this.explained : null;
        const next = explained?.next;
        if (this.shown > 0 && next) {
            const phase = phaseNames[this.shown - 1];
            const fetched = next.fetched;
            const registers = { ...view.registers, ...fetched.registers };
            this.machine.show({ ...view, registers, registersText: { ...view.registersText, ...fetched.registersText } });
            this.overlaid = true;
            this.processor.show({ registers, explanation: next, phase, text: phaseText(next, phase) });
            this.explanation.show(next, `La prossima istruzione, ${next.mnemonic} all'indirizzo ${hex(next.address)}, non ancora eseguita:`, this.shown);
            return;
        }
        if (this.overlaid) {
            this.machine.show(view);
            this.overlaid = false;
        }
        // Until the worker has explained where the session stands, the
        // drawing keeps what it showed.
        if (!explained && view.position > 0) return;
        const last = view.position > 0 ? explained.last : null;
        this.processor.show({
            registers: view.registers,
            explanation: last,
            phase: last ? 'Esecuzione' : null,
            text: last ? phaseText(last, 'Esecuzione') : '',
        });
        if (last) this.explanation.show(last, `Il passo ${view.position}, appena eseguito: ${last.mnemonic} all'indirizzo ${hex(last.address)}.`);
        else this.explanation.show(null, noStep);
    }
}
