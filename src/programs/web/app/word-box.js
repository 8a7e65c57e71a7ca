// «Parola»: the box where a program waiting at an INP, in a run or in a
// session, is given its word.

export class WordBox {
    // box: what is shown or hidden; input: the field «Parola»; console: the
    // console, from which the focus may move to the field.
    constructor({ box, input, console }) {
        this.box = box;
        this.input = input;
        this.console = console;
    }

    // Shown, it takes the focus unless the student is elsewhere than the
    // run's pane.
    show(shown) {
        const wasHidden = this.box.hidden;
        this.box.hidden = !shown;
        if (shown && wasHidden) {
            const active = document.activeElement;
            if (!active || active === document.body || active.closest('.run-pane') || active === this.console) this.input.focus();
        }
    }

    get text() {
        return this.input.value;
    }

    clear() {
        this.input.value = '';
    }

    focus() {
        this.input.focus();
    }
}
