// Names and files: the program's name, files opened by the student, and
// exercises named in the page's address.

import { readBytes } from './streams.js';

export const maxSourceFileBytes = 1024 * 1024;
export const maxExerciseBytes = 4 * 1024 * 1024;
export const defaultName = 'programma';

// Characters a name never keeps: controls, and the bidirectional ones
// (U+202E and its kin), which would show "txt.asm" as "msa.txt".
const hiddenCharacters = /[\u0000-\u001f\u007f-\u009f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]/g;

const loneSurrogates = /[\ud800-\udbff](?![\udc00-\udfff])|(?<![\ud800-\udbff])[\udc00-\udfff]/g;

// The text of a name as it is typed, without those characters (nor half of
// a character, which no file name can hold).
export function visibleName(text) {
    return String(text ?? '')
        .replace(hiddenCharacters, '')
        .replace(loneSurrogates, '');
}

// The program's name as the console shows it (NAME.bin) and as "Salva"
// writes it (NAME.asm): the file name without its folder and without
// ".asm", "programma" when nothing is left.
export function programName(text) {
    let name = visibleName(String(text ?? '').replace(/^.*[/\\]/, '')).trim();
    if (name.toLowerCase().endsWith('.asm')) name = name.slice(0, -4).trim();
    // At most 100 UTF-16 units, never half a character.
    if (name.length > 100) name = name.slice(0, 100).replace(/[\ud800-\udbff]$/, '');
    return name === '' || name === '.' || name === '..' ? defaultName : name;
}

// The address of an exercise named by `?esercizio=`, relative to the page,
// or an Italian reason why it is refused: only a plain relative path inside
// the page's folder, without "..", scheme, host or backslash.
export function exerciseAddress(name, pageUrl) {
    if (typeof name !== 'string' || name.trim() === '') return { error: 'il nome dell\'esercizio è vuoto' };
    if (name.length > 1000) return { error: 'il nome dell\'esercizio è troppo lungo' };
    if (/[\u0000-\u001f\u007f\\]/.test(name)) return { error: 'il nome dell\'esercizio contiene caratteri non ammessi' };
    if (/^[a-z][a-z0-9+.-]*:/i.test(name) || name.startsWith('/')) {
        return { error: 'l\'esercizio deve essere un file della stessa cartella della pagina' };
    }
    if (name.includes('..') || /%2e/i.test(name) || name.includes('?') || name.includes('#')) {
        return { error: 'l\'esercizio deve essere un file della stessa cartella della pagina' };
    }
    const page = new URL(pageUrl);
    const url = new URL(name, page);
    const folder = page.pathname.replace(/[^/]*$/, '');
    if (url.origin !== page.origin || !url.pathname.startsWith(folder)) {
        return { error: 'l\'esercizio deve essere un file della stessa cartella della pagina' };
    }
    return { url: url.href };
}

export class FileTooLarge extends Error {}

// The text of a response body, refusing more than `limit` bytes.
export async function boundedText(response, limit) {
    const declared = Number(response.headers.get('Content-Length'));
    if (Number.isFinite(declared) && declared > limit) throw new FileTooLarge();
    if (!response.body) return '';
    const bytes = await readBytes(response.body, limit);
    if (bytes === null) throw new FileTooLarge();
    return new TextDecoder().decode(bytes);
}

// Bytes, as "1 MiB" or "4 MiB" in the page's messages.
export function sizeText(bytes) {
    return bytes % (1024 * 1024) === 0 ? `${bytes / (1024 * 1024)} MiB` : `${bytes} byte`;
}

// Offers `text` as a download named `fileName`.
export function download(text, fileName) {
    const url = URL.createObjectURL(new Blob([text], { type: 'text/plain;charset=utf-8' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = fileName;
    link.hidden = true;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// The text of a file the student chose, or null when it is too large for
// `what` or unreadable, the reason said through say(...lines).
async function readChosenFile(file, limit, what, say) {
    if (file.size > limit) {
        say(`Il file «${visibleName(file.name)}» è troppo grande per ${what}: al massimo ${sizeText(limit)}.`);
        return null;
    }
    try {
        return await file.text();
    } catch (error) {
        say(`Impossibile leggere il file «${visibleName(file.name)}»: ${error.message}`);
        return null;
    }
}

// A button that opens the file chooser `input`: the text of the file chosen
// goes to use(text, name), unless it is too large for `what` or unreadable.
// The chooser is emptied each time, so the same file can be chosen again.
export function whenFileChosen(button, input, { limit, what, say }, use) {
    button.addEventListener('click', () => input.click());
    input.addEventListener('change', async () => {
        const file = input.files?.[0];
        input.value = '';
        if (!file) return;
        const text = await readChosenFile(file, limit, what, say);
        if (text !== null) await use(text, file.name);
    });
}
