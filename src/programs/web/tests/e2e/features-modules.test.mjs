// The page's own rules that need no browser: the highlighting's tokens,
// the program's name, which exercise addresses are allowed, and the links
// that carry a program (round trip, bounds, damage, the copy to the
// clipboard).
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { deflateRawSync } from 'node:zlib';
import { StringStream } from '@codemirror/language';
import { exerciseAddress, programName } from '../../app/files.js';
import { tokenizer } from '../../app/language.js';
import { ShareError, copyWhenReady, decodeShare, encodeShare, toBase64url } from '../../app/share.js';

function tokens(line, words = { mnemonics: ['WRT', 'INP', 'VALOFFST'], directives: ['DB', 'ORG'] }) {
    const token = tokenizer(words);
    const stream = new StringStream(line, 8, 8);
    const out = [];
    while (!stream.eol()) {
        stream.start = stream.pos;
        const type = token(stream);
        if (type) out.push([stream.current(), type]);
    }
    return out;
}

test('the highlighting tells mnemonics, directives, labels, literals and comments apart', () => {
    const cases = [
        ['ciclo:  INP parola ; legge', [['ciclo', 'labelName'], [':', 'punctuation'], ['INP', 'keyword'], ['parola', 'variableName'], ['; legge', 'lineComment']]],
        ['fine :', [['fine', 'labelName'], [':', 'punctuation']]],
        ['  wrt msg+1', [['wrt', 'keyword'], ['msg', 'variableName'], ['+', 'operator'], ['1', 'number']]],
        ['valoffst 0x1F', [['valoffst', 'keyword'], ['0x1F', 'number']]],
        ['DB "a;b\\"c", 0b101, \'\\\'\'', [['DB', 'definitionKeyword'], ['"a;b\\"c"', 'string'], [',', 'punctuation'], ['0b101', 'number'], [',', 'punctuation'], ["'\\''", 'character']]],
        ['org 12ab', [['org', 'definitionKeyword'], ['12ab', 'number']]],
        ['DB "non chiusa ; resta stringa', [['DB', 'definitionKeyword'], ['"non chiusa ; resta stringa', 'string']]],
        // Not in the table handed over: a name like any other.
        ['WTR x', [['WTR', 'variableName'], ['x', 'variableName']]],
    ];
    for (const [line, expected] of cases) assert.deepEqual(tokens(line), expected, line);
    // Before the module has given its table, nothing is a mnemonic.
    assert.deepEqual(tokens('INP x', {}), [['INP', 'variableName'], ['x', 'variableName']]);
});

test('the program name drops folders, .asm, controls and bidirectional marks, and never ends up empty', () => {
    for (const [given, name] of [
        ['somma.asm', 'somma'],
        ['Somma.ASM', 'Somma'],
        ['C:\\lavori\\eco.asm', 'eco'],
        ['/home/anna/prova', 'prova'],
        ['  perché.asm ', 'perché'],
        ['.asm', 'programma'],
        ['', 'programma'],
        [null, 'programma'],
        ['..', 'programma'],
        ['a\u0000b\nc', 'abc'],
        ['x'.repeat(300), 'x'.repeat(100)],
        // Bidirectional controls, which would show "compiti\u202Etxt.asm" as "compitimsa.txt".
        ['compiti\u202Etxt.asm', 'compititxt'],
        ['\u2066a\u2069\u2067b\u2068c\u200e\u200f\u061c\u202a\u202b\u202c\u202d', 'abc'],
        ['a\u0085b', 'ab'],
        // Never half of a character, cut or given.
        ['x'.repeat(99) + '🙂🙂', 'x'.repeat(99)],
        ['a\ud800b\udc00', 'ab'],
    ]) {
        assert.equal(programName(given), name, JSON.stringify(given));
    }
});

test('an exercise named in the address is a plain file of the page\'s folder', () => {
    const page = 'https://scuola.example/tarnsim/index.html?esercizio=x';
    for (const [name, url] of [
        ['esercizi/somma.toml', 'https://scuola.example/tarnsim/esercizi/somma.toml'],
        ['somma.toml', 'https://scuola.example/tarnsim/somma.toml'],
        ['classe%203A/eco.toml', 'https://scuola.example/tarnsim/classe%203A/eco.toml'],
        ['./esercizi/più.toml', 'https://scuola.example/tarnsim/esercizi/pi%C3%B9.toml'],
    ]) {
        assert.deepEqual(exerciseAddress(name, page), { url }, name);
    }
    for (const name of [
        '',
        '   ',
        '../segreto.toml',
        'esercizi/../../x.toml',
        'esercizi/%2e%2e/x.toml',
        '%2E%2E/x.toml',
        '/tarnsim/esercizi/somma.toml',
        '//altro.example/x.toml',
        'https://altro.example/x.toml',
        'javascript:alert(1)',
        'data:text/plain,x',
        'esercizi\\somma.toml',
        'esercizi/somma.toml?x=1',
        'somma.toml#x',
        'a\nb.toml',
        'x'.repeat(1001),
    ]) {
        assert.ok(exerciseAddress(name, page).error, JSON.stringify(name));
    }
});

const deflateRaw = (() => {
    try {
        new CompressionStream('deflate-raw');
        return false;
    } catch {
        return 'questo node non ha CompressionStream("deflate-raw")';
    }
})();

test('a shared link gives back its program, input and name', { skip: deflateRaw }, async () => {
    for (const work of [
        { source: 'WRT m\nRST\nm: DB "Però è così\\n", 0\n', input: 'uno due\n', name: 'perché' },
        { source: '', input: '', name: '' },
        { source: '; 🙂 '.repeat(2000), input: '', name: 'x' },
    ]) {
        const fragment = await encodeShare(work);
        assert.match(fragment, /^c=[A-Za-z0-9_-]+$/);
        assert.deepEqual(await decodeShare(`#${fragment}`), work);
    }
    assert.equal(await decodeShare('#altro=1'), null);
    assert.equal(await decodeShare(''), null);
});

test('a damaged or oversized link is refused with a reason', { skip: deflateRaw }, async () => {
    const packed = (value) => `c=${toBase64url(deflateRawSync(Buffer.from(typeof value === 'string' ? value : JSON.stringify(value))))}`;
    const big = 'x'.repeat(1024 * 1024 + 1);
    for (const [fragment, reason] of [
        ['c=@@@', /caratteri non validi/],
        ['c=A', /caratteri non validi/],
        ['c=AAAAAAAA', /danneggiati/],
        [packed('non è json'), /non sono un programma/],
        [packed({ input: 'x' }), /non sono un programma/],
        [packed([1, 2]), /non sono un programma/],
        [packed({ source: big }), /troppo grande/],
        // The input as "Esegui" takes it: 1 MiB of UTF-8.
        [packed({ source: '', input: big }), /l'ingresso nel link è troppo grande \(al massimo 1 MiB\)/],
        [packed({ source: '', input: 'è'.repeat(512 * 1024) + 'x' }), /l'ingresso nel link è troppo grande/],
        // A small link that would inflate to far more than any program.
        [packed('"' + 'a'.repeat(8 * 1024 * 1024) + '"'), /troppo grande/],
    ]) {
        await assert.rejects(decodeShare(fragment), (error) => error instanceof ShareError && reason.test(error.message), fragment.slice(0, 40));
    }
    // Within the bounds, a source of exactly 1 MiB.
    const edge = await decodeShare(packed({ source: 'y'.repeat(1024 * 1024), input: 'è'.repeat(512 * 1024) }));
    assert.equal(edge.source.length, 1024 * 1024);
    assert.equal(edge.input.length, 512 * 1024);
    await assert.rejects(encodeShare({ source: '', input: big }), (error) => error instanceof ShareError && /l'ingresso è troppo grande per un link/.test(error.message));
});

test('the link is copied through a ClipboardItem asked for within the click, else written once made', async () => {
    class Item {
        constructor(items) {
            this.items = items;
        }
    }
    // A clipboard that records what it was asked, in order; `write` and
    // `writeText` say whether each call succeeds.
    function clipboard({ write = true, writeText = true } = {}) {
        const calls = [];
        return {
            calls,
            async write([item]) {
                calls.push('write');
                const blob = await item.items['text/plain'];
                if (!write) throw new DOMException('no', 'NotAllowedError');
                calls.push(`copiato ${await blob.text()}`);
            },
            async writeText(text) {
                calls.push('writeText');
                if (!writeText) throw new DOMException('no', 'NotAllowedError');
                calls.push(`copiato ${text}`);
            },
        };
    }
    const link = 'http://esempio.invalid/#c=AA';
    const made = () => Promise.resolve(link);
    for (const [name, board, item, text, copied, calls] of [
        ['ClipboardItem', clipboard(), Item, made, true, ['write', `copiato ${link}`]],
        ['no ClipboardItem', clipboard(), undefined, made, true, ['writeText', `copiato ${link}`]],
        ['ClipboardItem refused', clipboard({ write: false }), Item, made, true, ['write', 'writeText', `copiato ${link}`]],
        ['both refused', clipboard({ write: false, writeText: false }), Item, made, false, ['write', 'writeText']],
        ['no link', clipboard(), Item, () => Promise.reject(new Error('rotto')), false, ['write']],
        ['no clipboard', undefined, Item, made, false, []],
    ]) {
        const copying = copyWhenReady(text(), board, item);
        // Asked for before the link is awaited: within the click.
        if (item && board) assert.deepEqual(board.calls, ['write'], name);
        assert.equal(await copying, copied, name);
        assert.deepEqual(board?.calls ?? [], calls, name);
    }
});
