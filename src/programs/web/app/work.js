// The work the page shows: the editor's source, its name and its input, and
// the controls that replace or keep it («Apri», «Salva», the examples,
// «Nuovo», «I miei programmi»), over the list of saved works (works.js),
// which this module owns.
import { download, maxSourceFileBytes, programName, visibleName, whenFileChosen } from './files.js';
import { Works } from './works.js';

export class Work {
    // beforeLoad() ends what belonged to the work that goes (a session, a
    // run). elements: name and input (the fields), dialog (the list's
    // <dialog>), the buttons open, save, newWork, myWorks, the file input
    // openFile and the examples' <select>.
    constructor({ editor, examples, messages, beforeLoad, elements }) {
        this.editor = editor;
        this.messages = messages;
        this.nameInput = elements.name;
        this.inputBox = elements.input;
        // Above zero while a work is put in the page: its changes are not
        // the student's.
        this.loading = 0;
        this.works = new Works({
            examples,
            read: () => this.read(),
            load: (work) => {
                beforeLoad();
                this.set(work);
            },
            say: messages.say,
            add: messages.add,
            dialog: elements.dialog,
        });
        this.wire(elements, examples);
    }

    // { source, name, input } as the page shows them.
    read() {
        return { source: this.editor.text(), name: this.nameInput.value, input: this.inputBox.value };
    }

    // Loads a whole work: the source, its name and its input.
    set({ source, name, input }) {
        this.loading++;
        try {
            this.editor.loadText(source);
            this.nameInput.value = programName(name);
            this.inputBox.value = typeof input === 'string' ? input : '';
        } finally {
            this.loading--;
        }
    }

    // Whether an update of the editor was typed by the student, rather than
    // a work being loaded.
    typed(update) {
        return !this.loading && update.transactions.some((t) => t.docChanged && !t.isUserEvent('load'));
    }

    // Something of the work (source, name, input) changed; `typed` when the
    // student did it.
    changed(typed) {
        this.works.changed(typed);
    }

    wire(elements, examples) {
        const { editor, messages, nameInput, inputBox, works } = this;
        elements.save.addEventListener('click', () => {
            const name = programName(nameInput.value);
            download(editor.text(), `${name}.asm`);
            works.downloaded();
            messages.say(`Salvato come «${name}.asm» nella cartella dei download.`);
        });

        whenFileChosen(elements.open, elements.openFile, { limit: maxSourceFileBytes, what: 'un programma', say: messages.say }, (text, name) => {
            if (!works.openFile({ source: text, name, input: inputBox.value })) return;
            messages.say(`Aperto «${visibleName(name)}».`);
        });

        const menu = elements.examples;
        examples.forEach((example) => {
            const option = document.createElement('option');
            option.value = example.name;
            option.textContent = `${example.name}.asm`;
            menu.append(option);
        });
        menu.addEventListener('change', () => {
            const example = examples.find((e) => e.name === menu.value);
            if (!example) return;
            // Back to the prompt, so that the same example can be chosen again.
            menu.value = '';
            works.openExample(example);
        });
        elements.newWork.addEventListener('click', () => works.newWork());
        elements.myWorks.addEventListener('click', () => works.showList());

        nameInput.addEventListener('change', () => {
            nameInput.value = programName(nameInput.value);
            this.changed(true);
        });
        nameInput.addEventListener('input', () => {
            // Controls and bidirectional marks never enter a name, even typed.
            const shown = visibleName(nameInput.value);
            if (shown !== nameInput.value) {
                const caret = visibleName(nameInput.value.slice(0, nameInput.selectionStart ?? 0)).length;
                nameInput.value = shown;
                nameInput.setSelectionRange(caret, caret);
            }
            this.changed(true);
        });
        inputBox.addEventListener('input', () => this.changed(true));
    }
}
