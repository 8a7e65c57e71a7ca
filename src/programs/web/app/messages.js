// What the page tells the student: the lines of «Messaggi», where a run's or
// a continue's count of instructions keeps a line of its own, and the
// assembler's «Diagnostica».

export const failedText = 'Il programma contiene errori: correggili (sono elencati in «Diagnostica») e riprova.';

// What a program waiting at an INP asks, in a run or in a session.
export const waitingText = 'Il programma aspetta una parola: scrivila in «Parola» e premi Invio, oppure premi «Fine dell\'ingresso».';

export function paragraph(text) {
    const p = document.createElement('p');
    p.textContent = text;
    return p;
}

export class Messages {
    // element: the box of the lines; diagnostics: the list of «Diagnostica»;
    // note() gives a line that stays under whatever is said (while the work
    // cannot be saved, the reason), or nothing.
    constructor({ element, diagnostics, note = () => null }) {
        this.element = element;
        this.diagnostics = diagnostics;
        this.note = note;
        // How many times the page has spoken: a late answer tells by it
        // whether the page has said something else since.
        this.sayings = 0;
        // The line of the count of instructions, while one goes on.
        this.countLine = null;
        // Handed to other modules as they are.
        this.say = this.say.bind(this);
        this.add = this.add.bind(this);
    }

    // Replaces the lines.
    say(...lines) {
        this.sayings++;
        this.element.replaceChildren(...[...lines, this.note()].filter((l) => l !== '' && l != null).map(paragraph));
    }

    // Adds a line to the ones shown.
    add(line) {
        if (line) this.element.append(paragraph(line));
    }

    // While a program runs, or a continue goes on, the count of instructions
    // has a line of its own: what the page says meanwhile (a link made, a
    // note about the saved works) stays, and the count goes on under it.
    sayCounting(count, ...lines) {
        this.say(...lines, count);
        this.countLine = [...this.element.children].find((line) => line.textContent === count);
    }

    countTo(count) {
        if (this.countLine?.isConnected) {
            this.countLine.textContent = count;
            return;
        }
        this.add(count);
        this.countLine = this.element.lastElementChild;
    }

    // The assembler's errors and warnings, and the lines of those it left out.
    showDiagnostics({ diagnostics = [], omitted = [] } = {}) {
        const items = [...diagnostics.map((d) => [d.text, d.severity === 'errore' ? 'error' : 'warning']), ...omitted.map((t) => [t, 'omitted'])];
        this.diagnostics.replaceChildren(
            ...items.map(([text, kind]) => {
                const li = document.createElement('li');
                li.className = kind;
                li.textContent = text;
                return li;
            }),
        );
    }
}
