// Highlighting of the assembler's language: mnemonics and directives (as the
// wasm module lists them), labels, numbers, characters, strings, comments.
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';

// The tokenizer, apart from CodeMirror so that it can be tried on its own:
// `stream` needs eatSpace, peek, next, eol, skipToEnd, match and current.
export function tokenizer({ mnemonics = [], directives = [] } = {}) {
    const mnemonicSet = new Set(mnemonics.map((m) => m.toUpperCase()));
    const directiveSet = new Set(directives.map((d) => d.toUpperCase()));
    // A quoted literal up to its closing quote (a backslash escapes the
    // next character), or up to the end of the line when never closed.
    function quoted(stream, quote) {
        stream.next();
        while (!stream.eol()) {
            const c = stream.next();
            if (c === '\\') {
                if (!stream.eol()) stream.next();
            } else if (c === quote) {
                break;
            }
        }
    }
    return function token(stream) {
        if (stream.eatSpace()) return null;
        const c = stream.peek();
        if (c === ';') {
            stream.skipToEnd();
            return 'lineComment';
        }
        if (c === '"') {
            quoted(stream, '"');
            return 'string';
        }
        if (c === "'") {
            quoted(stream, "'");
            return 'character';
        }
        // A number is the whole run of letters and digits, as the assembler reads it.
        if (stream.match(/^[0-9][A-Za-z0-9_]*/)) return 'number';
        if (stream.match(/^[A-Za-z_][A-Za-z0-9_]*/)) {
            const word = stream.current();
            if (stream.match(/^[ \t]*:/, false)) return 'labelName';
            const upper = word.toUpperCase();
            if (directiveSet.has(upper)) return 'definitionKeyword';
            if (mnemonicSet.has(upper)) return 'keyword';
            return 'variableName';
        }
        stream.next();
        return c === ',' || c === ':' ? 'punctuation' : c === '+' || c === '-' ? 'operator' : null;
    };
}

export function assemblyLanguage(words) {
    const token = tokenizer(words);
    return StreamLanguage.define({
        name: 'tarnasm',
        token,
        languageData: { commentTokens: { line: ';' } },
    });
}

export const assemblyHighlight = syntaxHighlighting(
    HighlightStyle.define([
        { tag: tags.keyword, class: 'tk-mnemonic' },
        { tag: tags.definitionKeyword, class: 'tk-directive' },
        { tag: tags.labelName, class: 'tk-label' },
        { tag: tags.number, class: 'tk-number' },
        { tag: tags.character, class: 'tk-character' },
        { tag: tags.string, class: 'tk-string' },
        { tag: tags.lineComment, class: 'tk-comment' },
        { tag: tags.variableName, class: 'tk-name' },
        { tag: [tags.punctuation, tags.operator], class: 'tk-punctuation' },
    ]),
);
