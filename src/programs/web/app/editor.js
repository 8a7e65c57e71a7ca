// The source editor: CodeMirror with the assembler's highlighting, its
// diagnostics marked in place, a gutter of breakpoints (by line, kept in
// place while the text changes), the line of the next instruction and,
// while a debug session is open, each line's address and the lines of an
// endless loop. Tab indents; Esc then Tab leaves the editor.
import { defaultKeymap, history, historyKeymap, indentLess, indentMore } from '@codemirror/commands';
import { getIndentUnit, indentUnit } from '@codemirror/language';
import { linter, lintGutter } from '@codemirror/lint';
import { Compartment, EditorSelection, EditorState, RangeSet, StateEffect, StateField, countColumn } from '@codemirror/state';
import {
    Decoration,
    EditorView,
    GutterMarker,
    drawSelection,
    gutter,
    highlightActiveLine,
    highlightActiveLineGutter,
    highlightSpecialChars,
    keymap,
    lineNumbers,
} from '@codemirror/view';
import { assemblyHighlight, assemblyLanguage } from './language.js';

// ------------------------------------------------------------ breakpoints

const toggleBreakpoint = StateEffect.define({ map: (pos, mapping) => mapping.mapPos(pos) });
const setBreakpoints = StateEffect.define();

const breakpointMarker = new (class extends GutterMarker {
    toDOM() {
        const dot = document.createElement('span');
        dot.className = 'breakpoint-dot';
        dot.textContent = '●';
        dot.setAttribute('aria-hidden', 'true');
        return dot;
    }
})();

// What keeps the gutter as wide as a marker when there is none.
const breakpointSpacer = new (class extends GutterMarker {
    toDOM() {
        const space = document.createElement('span');
        space.textContent = '●';
        return space;
    }
})();

const breakpointField = StateField.define({
    create: () => RangeSet.empty,
    update(set, transaction) {
        set = set.map(transaction.changes);
        for (const effect of transaction.effects) {
            if (effect.is(toggleBreakpoint)) {
                const line = transaction.newDoc.lineAt(effect.value);
                let present = false;
                set.between(line.from, line.from, () => {
                    present = true;
                });
                set = present
                    ? set.update({ filter: (from) => from !== line.from })
                    : set.update({ add: [breakpointMarker.range(line.from)] });
            } else if (effect.is(setBreakpoints)) {
                const doc = transaction.newDoc;
                const starts = [...new Set(effect.value.filter((n) => n >= 1 && n <= doc.lines))]
                    .sort((a, b) => a - b)
                    .map((n) => breakpointMarker.range(doc.line(n).from));
                set = RangeSet.of(starts);
            }
        }
        return set;
    },
});

const breakpointGutter = [
    breakpointField,
    gutter({
        class: 'cm-breakpoint-gutter',
        markers: (view) => view.state.field(breakpointField),
        initialSpacer: () => breakpointSpacer,
        domEventHandlers: {
            mousedown(view, line) {
                view.dispatch({ effects: toggleBreakpoint.of(line.from), userEvent: 'breakpoint' });
                return true;
            },
        },
    }),
];

// 1-based numbers of the lines that hold a breakpoint.
export function breakpointLines(state) {
    const lines = [];
    const cursor = state.field(breakpointField).iter();
    for (; cursor.value; cursor.next()) lines.push(state.doc.lineAt(cursor.from).number);
    return lines;
}

// --------------------------------------------------- the next instruction

const setNextLine = StateEffect.define();
const nextLineDecoration = Decoration.line({ class: 'cm-next-line' });

const nextLineField = StateField.define({
    create: () => Decoration.none,
    update(decorations, transaction) {
        decorations = decorations.map(transaction.changes);
        for (const effect of transaction.effects) {
            if (!effect.is(setNextLine)) continue;
            const n = effect.value;
            const doc = transaction.newDoc;
            decorations = n && n >= 1 && n <= doc.lines ? Decoration.set([nextLineDecoration.range(doc.line(n).from)]) : Decoration.none;
        }
        return decorations;
    },
    provide: (field) => EditorView.decorations.from(field),
});

// ------------------------------------------------------------- addresses

// The lines' addresses, in hexadecimal as the memory table writes them.
const setAddresses = StateEffect.define();

class TextMarker extends GutterMarker {
    constructor(text, className = '', title = '') {
        super();
        this.text = text;
        this.className = className;
        this.title = title;
    }

    eq(other) {
        return other.text === this.text && other.className === this.className && other.title === this.title;
    }

    toDOM() {
        const span = document.createElement('span');
        span.textContent = this.text;
        if (this.className) span.className = this.className;
        if (this.title) {
            span.title = this.title;
            span.setAttribute('aria-label', this.title);
        }
        return span;
    }
}

// Markers at the starts of the lines given by number ({ number, ... } sorted
// or not), those past the text's end left out.
function lineMarkers(doc, entries, markerOf) {
    const byLine = new Map();
    for (const entry of entries) {
        const marker = markerOf(entry);
        if (marker && Number.isInteger(entry.number) && entry.number >= 1 && entry.number <= doc.lines) byLine.set(entry.number, marker);
    }
    return RangeSet.of([...byLine].sort((a, b) => a[0] - b[0]).map(([number, marker]) => marker.range(doc.line(number).from)));
}

const addressField = StateField.define({
    create: () => RangeSet.empty,
    update(set, transaction) {
        set = set.map(transaction.changes);
        for (const effect of transaction.effects) {
            if (!effect.is(setAddresses)) continue;
            const hex = (line) => (typeof line.hex === 'string' ? new TextMarker(line.hex) : null);
            set = lineMarkers(transaction.newDoc, effect.value ?? [], hex);
        }
        return set;
    },
});

const addressGutter = [
    addressField,
    gutter({ class: 'cm-address-gutter', markers: (view) => view.state.field(addressField) }),
];

// ------------------------------------------------------------ endless loop

const loopTitle = 'riga del ciclo infinito';
const setLoopLines = StateEffect.define();
const loopLineDecoration = Decoration.line({ class: 'cm-loop-line', attributes: { title: loopTitle } });
const loopMarker = new TextMarker('↻', 'loop-mark', loopTitle);
// A line whose instruction the program rewrote says what runs there.
const rewrittenTitle = (text) => `${loopTitle}: esegue ${text}`;

// The lines' decorations and their gutter's markers.
const loopField = StateField.define({
    create: () => ({ lines: Decoration.none, markers: RangeSet.empty }),
    update(value, transaction) {
        let { lines, markers } = value;
        if (transaction.docChanged) {
            lines = lines.map(transaction.changes);
            markers = markers.map(transaction.changes);
        }
        for (const effect of transaction.effects) {
            if (!effect.is(setLoopLines)) continue;
            const doc = transaction.newDoc;
            const { numbers: wanted = [], rewritten = [] } = effect.value ?? {};
            const ran = new Map(rewritten.filter((r) => typeof r?.text === 'string').map((r) => [r.line, r.text]));
            const numbers = wanted.map((number) => ({ number, ran: ran.get(number) }));
            markers = lineMarkers(doc, numbers, ({ ran }) =>
                (ran === undefined ? loopMarker : new TextMarker('↻', 'loop-mark', rewrittenTitle(ran))));
            lines = lineMarkers(doc, numbers, ({ ran }) => (ran === undefined
                ? loopLineDecoration
                : Decoration.line({ class: 'cm-loop-line', attributes: { title: rewrittenTitle(ran) } })));
        }
        return lines === value.lines && markers === value.markers ? value : { lines, markers };
    },
    provide: (field) => EditorView.decorations.from(field, (value) => value.lines),
});

const loopGutter = [
    loopField,
    gutter({ class: 'cm-loop-gutter', markers: (view) => view.state.field(loopField).markers }),
];

// -------------------------------------------------------------------- Tab

// Tab at a cursor adds spaces up to the next column of indentation, so that
// after a label the instruction lines up with the others; with text selected
// it indents the selected lines, and Shift+Tab takes a level away.
// CodeMirror lets the Tab pressed right after Esc (or any Tab after Ctrl+M)
// move the focus instead: the way out of the editor by keyboard. Its own Esc
// does that only when no text is selected (else Esc clears the selection
// first): here it always does, for CodeMirror's two seconds.
function indentAtCursor(view) {
    const { state } = view;
    if (state.readOnly) return false;
    if (state.selection.ranges.some((range) => !range.empty)) return indentMore(view);
    const unit = getIndentUnit(state);
    const change = state.changeByRange((range) => {
        const line = state.doc.lineAt(range.head);
        const column = countColumn(line.text.slice(0, range.head - line.from), state.tabSize);
        const spaces = ' '.repeat(unit - (column % unit));
        return { changes: { from: range.head, insert: spaces }, range: EditorSelection.cursor(range.head + spaces.length) };
    });
    view.dispatch(state.update(change, { scrollIntoView: true, userEvent: 'input.indent' }));
    return true;
}

const tabKeymap = [
    { key: 'Tab', run: indentAtCursor, shift: indentLess },
    {
        key: 'Escape',
        run(view) {
            view.setTabFocusMode(2000);
            return false;
        },
    },
];

// ----------------------------------------------------------------- editor

// diagnose(source) resolves to CodeMirror diagnostics for that text (or
// rejects, and nothing is marked); onChange(update) sees every change of
// the text; onBreakpoint(line) is told of a click in the breakpoint gutter;
// `extensions` are the page's own additions (the instruction reference).
export function createEditor({ parent, doc = '', diagnose, onChange, onBreakpoint, delay = 400, extensions = [] }) {
    const languageSlot = new Compartment();
    const historySlot = new Compartment();
    const view = new EditorView({
        parent,
        state: EditorState.create({
            doc,
            extensions: [
                breakpointGutter,
                lineNumbers(),
                addressGutter,
                loopGutter,
                highlightActiveLineGutter(),
                highlightSpecialChars(),
                historySlot.of(history()),
                drawSelection(),
                highlightActiveLine(),
                indentUnit.of('        '),
                EditorState.tabSize.of(8),
                languageSlot.of(assemblyLanguage({})),
                assemblyHighlight,
                nextLineField,
                lintGutter(),
                linter(
                    async (v) => {
                        const text = v.state.doc.toString();
                        try {
                            return await diagnose(text, v.state);
                        } catch {
                            return [];
                        }
                    },
                    { delay },
                ),
                keymap.of([...tabKeymap, ...defaultKeymap, ...historyKeymap]),
                EditorView.contentAttributes.of({ 'aria-label': 'Programma', spellcheck: 'false', autocapitalize: 'off', autocorrect: 'off' }),
                EditorView.updateListener.of((update) => {
                    if (update.docChanged) onChange?.(update);
                    for (const transaction of update.transactions) {
                        if (!transaction.isUserEvent('breakpoint')) continue;
                        for (const effect of transaction.effects) {
                            if (effect.is(toggleBreakpoint)) onBreakpoint?.(update.state.doc.lineAt(effect.value).number);
                        }
                    }
                }),
                EditorView.lineWrapping,
                extensions,
            ],
        }),
    });

    let shownLoop = JSON.stringify([[], []]);
    return {
        view,
        text: () => view.state.doc.toString(),
        // Replaces the whole text (undoable); `userEvent` 'load' marks it as
        // not typed by the student.
        setText(text, { userEvent = 'load' } = {}) {
            view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, userEvent, selection: { anchor: 0 } });
        },
        // Another program in the editor: its text, without the last one's
        // history (Ctrl+Z stays within a program) or breakpoints.
        loadText(text) {
            view.dispatch({
                changes: { from: 0, to: view.state.doc.length, insert: text },
                userEvent: 'load',
                selection: { anchor: 0 },
                effects: [historySlot.reconfigure([]), setBreakpoints.of([])],
                scrollIntoView: true,
            });
            view.dispatch({ effects: historySlot.reconfigure(history()) });
        },
        setWords(words) {
            view.dispatch({ effects: languageSlot.reconfigure(assemblyLanguage(words)) });
        },
        cursorLine: () => view.state.doc.lineAt(view.state.selection.main.head).number,
        toggleBreakpointAt(line) {
            const doc = view.state.doc;
            if (line < 1 || line > doc.lines) return;
            view.dispatch({ effects: toggleBreakpoint.of(doc.line(line).from) });
        },
        setBreakpoints(lines) {
            view.dispatch({ effects: setBreakpoints.of(lines) });
        },
        breakpoints: () => breakpointLines(view.state),
        // The lines' addresses: [{ number, hex }] as the debugger's session
        // gives them (null or []: none, without a session).
        setAddresses(lines) {
            view.dispatch({ effects: setAddresses.of(Array.isArray(lines) ? lines : []) });
        },
        // The numbers of the lines of a proved endless loop ([]: none).
        // The endless loop's lines, and those of them whose instruction the
        // program rewrote ({ line, text }), which say what runs there.
        setLoopLines(numbers, rewritten = []) {
            const wanted = Array.isArray(numbers) ? numbers : [];
            const ran = Array.isArray(rewritten) ? rewritten : [];
            const key = JSON.stringify([wanted, ran]);
            if (key === shownLoop) return;
            shownLoop = key;
            view.dispatch({ effects: setLoopLines.of({ numbers: wanted, rewritten: ran }) });
        },
        // The line of the next instruction (null: none), scrolled into view.
        setNextLine(line) {
            const doc = view.state.doc;
            const effects = [setNextLine.of(line)];
            if (line && line >= 1 && line <= doc.lines) effects.push(EditorView.scrollIntoView(doc.line(line).from, { y: 'nearest' }));
            view.dispatch({ effects });
        },
    };
}
