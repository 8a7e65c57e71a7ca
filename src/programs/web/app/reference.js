// The instruction reference: the table of «Aiuto» (opcode, mnemonic,
// length, unit, meaning) and, in the editor, the row of a mnemonic under the
// pointer (a tooltip) or under the cursor (a status line, which a screen
// reader reads as it changes). The rows are the library's own table, as the
// wasm module gives them at start-up (init's reference): nothing here
// repeats it.
import { syntaxTree } from '@codemirror/language';
import { EditorView, hoverTooltip } from '@codemirror/view';

const hex = (n) => `0x${n.toString(16).toUpperCase().padStart(2, '0')}`;
const headings = ['Codice', 'Mnemonico', 'Lunghezza', 'Unità', 'Significato'];

// The mnemonic at a position of the editor, as the highlighting found it
// (never a label, a name, a comment or a string): { from, to, word } or null.
function mnemonicAt(state, pos, side) {
    const node = syntaxTree(state).resolveInner(pos, side);
    if (node.name !== 'keyword') return null;
    return { from: node.from, to: node.to, word: state.sliceDoc(node.from, node.to).toUpperCase() };
}

export class InstructionReference {
    // table: where «Aiuto» shows the table; status: the line under the editor.
    constructor({ table, status }) {
        this.container = table;
        this.status = status;
        this.rows = new Map();
        this.codes = [];
    }

    // The module's rows, and its texts of the 256 values for the opcodes.
    setRows(rows, numbers) {
        if (!Array.isArray(rows)) return;
        const code = (opcode) => numbers?.addresses?.[opcode] ?? hex(opcode);
        this.rows = new Map();
        for (const row of rows) {
            if (typeof row?.mnemonic !== 'string' || !Number.isInteger(row.opcode)) continue;
            this.rows.set(row.mnemonic.toUpperCase(), { ...row, code: code(row.opcode & 0xff) });
        }
        this.build();
    }

    // The roles are written out: on a phone the style lays each row out as
    // a block, which would otherwise hide them from a screen reader.
    build() {
        const table = document.createElement('table');
        table.className = 'reference';
        table.setAttribute('role', 'table');
        const caption = document.createElement('caption');
        caption.id = 'instruction-reference-caption';
        caption.textContent = 'Le istruzioni della macchina';
        table.setAttribute('aria-labelledby', caption.id);
        const head = document.createElement('thead');
        const headRow = document.createElement('tr');
        headRow.setAttribute('role', 'row');
        for (const heading of headings) {
            const th = document.createElement('th');
            th.scope = 'col';
            th.setAttribute('role', 'columnheader');
            th.textContent = heading;
            headRow.append(th);
        }
        head.append(headRow);
        head.setAttribute('role', 'rowgroup');
        const body = document.createElement('tbody');
        body.setAttribute('role', 'rowgroup');
        for (const row of this.rows.values()) {
            const tr = document.createElement('tr');
            tr.dataset.mnemonic = row.mnemonic;
            tr.setAttribute('role', 'row');
            const cells = [row.code, row.mnemonic, `${row.length} byte`, row.unit, row.meaning];
            cells.forEach((text, index) => {
                const cell = document.createElement(index === 1 ? 'th' : 'td');
                if (index === 1) cell.scope = 'row';
                cell.setAttribute('role', index === 1 ? 'rowheader' : 'cell');
                cell.textContent = String(text);
                tr.append(cell);
            });
            body.append(tr);
        }
        table.append(caption, head, body);
        this.container.replaceChildren(table);
    }

    // "JPZ: codice 0x43 (67), 2 byte, unità controllo. Salta all'indirizzo A
    // se il flag Z è acceso." (null: not an instruction).
    describe(mnemonic) {
        const row = this.rows.get(mnemonic);
        if (!row) return null;
        const meaning = String(row.meaning);
        return `${row.mnemonic}: codice ${row.code}, ${row.length} byte, unità ${row.unit}. ${meaning.charAt(0).toUpperCase()}${meaning.slice(1)}.`;
    }

    // The editor's part: the tooltip of a mnemonic under the pointer, and the
    // status line that follows the cursor.
    editorExtension() {
        const tooltip = hoverTooltip((view, pos, side) => {
            const found = mnemonicAt(view.state, pos, side);
            const text = found && this.describe(found.word);
            if (!text) return null;
            return {
                pos: found.from,
                end: found.to,
                above: true,
                create: () => {
                    const dom = document.createElement('div');
                    dom.className = 'instruction-tip';
                    dom.textContent = text;
                    return { dom };
                },
            };
        });
        const follow = EditorView.updateListener.of((update) => {
            if (!update.selectionSet && !update.docChanged && syntaxTree(update.startState) === syntaxTree(update.state)) return;
            this.follow(update.state);
        });
        return [tooltip, follow];
    }

    // The row of the mnemonic the cursor is in or just after; the line stays
    // as it is while the cursor stays on the same instruction.
    follow(state) {
        const head = state.selection.main.head;
        const found = mnemonicAt(state, head, -1) ?? mnemonicAt(state, head, 1);
        const text = (found && this.describe(found.word)) ?? '';
        if (this.status.textContent !== text) this.status.textContent = text;
    }
}
