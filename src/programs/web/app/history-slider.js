// «Cronologia»: a slider over the steps the session has made, from 0 to the
// furthest. It moves with the steps; moved, it takes the session to the step
// it points at, exactly. A student who drags it asks for many steps: only
// the last one asked is gone to, once the session is free.

export class HistorySlider {
    // slider: the range input; disabled() tells whether something else holds
    // the session (a run, an animation, a verification).
    constructor({ session, slider, disabled }) {
        Object.assign(this, { session, slider, disabled });
        this.wanted = null;
        this.going = false;
        slider.min = '0';
        slider.step = '1';
        slider.addEventListener('input', () => this.moved());
        session.onView((view) => this.follow(view));
        this.follow(null);
    }

    follow(view) {
        const { slider } = this;
        const furthest = view ? Math.max(0, Number(view.furthest) || 0) : 0;
        const position = view ? Math.max(0, Number(view.position) || 0) : 0;
        slider.max = String(furthest);
        // Where the student is dragging it, it stays until the session is there.
        if (this.wanted === null) slider.value = String(position);
        slider.setAttribute('aria-valuetext', view ? `passo ${position} di ${furthest}` : 'nessun passo');
        this.update();
    }

    // Enabled with a session that has made a step, and nothing else going on.
    update() {
        const view = this.session.view;
        this.slider.disabled = !view || !(Number(view.furthest) > 0) || this.disabled();
    }

    async moved() {
        this.wanted = Number(this.slider.value);
        if (this.going) return;
        this.going = true;
        try {
            while (this.wanted !== null && this.session.open) {
                const position = this.wanted;
                if (position === this.session.view?.position) {
                    this.wanted = null;
                    break;
                }
                if (this.session.busy) break;
                await this.session.goTo(position);
                if (this.wanted === position) this.wanted = null;
            }
        } finally {
            this.going = false;
            this.wanted = null;
            this.follow(this.session.view);
        }
    }
}
