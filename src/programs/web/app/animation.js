// «Anima»: the session's program run visibly, at the speed of the slider
// «Velocità» (1 to 1000 steps a second, on a logarithmic scale). Each
// animation frame asks the worker for the steps that are due, at most one
// request at a time, so Registri, Memoria, the current line and Processore
// are drawn at most once a frame. The steps are the session's own, kept in
// its history: after «Ferma», «Indietro» goes back through them.
// A breakpoint, a watched byte, a warning, an INP waiting for its word or
// the end of the program stop it too, as they stop «Continua».

// The slider's positions, 0 to SLIDER_TOP, and the speeds they stand for.
export const SLIDER_TOP = 300;
export const speedAt = (position) => Math.round(10 ** ((Math.min(SLIDER_TOP, Math.max(0, Number(position) || 0)) / SLIDER_TOP) * 3));

// A frame's time counts at most this much: a page hidden for a while does
// not come back owing thousands of steps.
const LONGEST_FRAME_MS = 250;

const nextFrame = () => new Promise((resolve) => requestAnimationFrame(resolve));

export class Animation {
    // speed: the range input «Velocità»; onChange() follows `going`.
    constructor({ session, messages, speed, onChange }) {
        Object.assign(this, { session, messages, speed, onChange });
        this.going = false;
        this.stopAsked = false;
        // Requests made since the page opened: the tests count them.
        this.requests = 0;
        speed.min = '0';
        speed.max = String(SLIDER_TOP);
        speed.step = '1';
        speed.addEventListener('input', () => this.describeSpeed());
        this.describeSpeed();
    }

    get stepsPerSecond() {
        return speedAt(this.speed.value);
    }

    describeSpeed() {
        const speed = this.stepsPerSecond;
        this.speed.setAttribute('aria-valuetext', speed === 1 ? '1 passo al secondo' : `${speed} passi al secondo`);
        this.speed.title = this.speed.getAttribute('aria-valuetext');
    }

    // «Anima»: starts the session first when there is none.
    async start() {
        const { session } = this;
        if (this.going || session.busy) return;
        this.going = true;
        this.stopAsked = false;
        this.onChange();
        try {
            if (!session.open) await session.begin();
            if (!session.open || this.stopAsked) return;
            this.messages.sayCounting(`istruzioni eseguite: ${session.view?.position ?? 0}`, 'Animazione in corso: «Ferma» la interrompe.');
            let last = await nextFrame();
            let owed = 1;  // the first step comes at once
            while (!this.stopAsked && session.open) {
                const count = Math.floor(owed);
                if (count >= 1) {
                    owed -= count;
                    this.requests++;
                    const reply = await session.advance(count);
                    if (!reply || reply.stopped || this.stopAsked) break;
                }
                const now = await nextFrame();
                owed += (this.stepsPerSecond * Math.min(LONGEST_FRAME_MS, now - last)) / 1000;
                last = now;
            }
        } finally {
            const stoppedByStudent = this.stopAsked;
            this.going = false;
            this.stopAsked = false;
            if (stoppedByStudent && session.open) this.messages.say(`Animazione fermata: «Indietro» torna sui passi fatti.`, `istruzioni eseguite: ${session.view?.position ?? 0}`);
            this.onChange();
        }
    }

    // «Ferma»: the steps made stay.
    stop() {
        if (this.going) this.stopAsked = true;
    }
}
