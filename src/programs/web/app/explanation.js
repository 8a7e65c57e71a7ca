// «Spiegazione»: an instruction explained phase by phase, each phase under
// its heading ("Prelievo", "Decodifica", "Esecuzione") with its lines of
// text. It shows the step just made, or, while «Fase» goes through the
// coming instruction, the phases shown so far.

export const phaseNames = ['Prelievo', 'Decodifica', 'Esecuzione'];

// The text of one phase of an explanation, its lines joined.
export function phaseText(explanation, name) {
    const phase = explanation?.phases?.find((p) => p.name === name);
    return phase ? `${name}: ${phase.lines.join(' ')}` : '';
}

export class ExplanationView {
    constructor({ element }) {
        this.element = element;
        this.shown = null;
    }

    // caption: what is explained ("Il passo 5 ...", "La prossima
    // istruzione ..."); phases: how many of the explanation's phases to show.
    show(explanation, caption, phases = phaseNames.length) {
        const key = JSON.stringify([explanation?.phases ?? null, caption, phases]);
        if (key === this.shown) return;
        this.shown = key;
        if (!explanation) {
            const p = document.createElement('p');
            p.className = 'explanation-none';
            p.textContent = caption;
            this.element.replaceChildren(p);
            return;
        }
        const nodes = [];
        const head = document.createElement('p');
        head.className = 'explanation-caption';
        head.textContent = caption;
        nodes.push(head);
        for (const name of phaseNames.slice(0, phases)) {
            const phase = explanation.phases?.find((p) => p.name === name);
            if (!phase) continue;
            const heading = document.createElement('h4');
            heading.textContent = name;
            const list = document.createElement('ul');
            list.className = 'plain explanation-lines';
            for (const line of phase.lines) {
                const item = document.createElement('li');
                item.textContent = line;
                list.append(item);
            }
            nodes.push(heading, list);
        }
        this.element.replaceChildren(...nodes);
    }
}
