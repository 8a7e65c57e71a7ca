// Links that carry a program: the source, the input and the file name as
// JSON, compressed with raw deflate and written in base64url after "#c=";
// «Condividi», which makes one, and the page opened with one (Links).
import { readBytes } from './streams.js';

// The most a link may give back: the source as the assembler takes it, the
// input as "Esegui" takes it, and a bound on the whole decompressed text.
export const maxSourceBytes = 1024 * 1024;
export const maxInputBytes = 1024 * 1024;
const maxPayloadBytes = 3 * maxSourceBytes;
const maxFragmentLength = 4 * maxSourceBytes;

export class ShareError extends Error {}

export function toBase64url(bytes) {
    let binary = '';
    for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

export function fromBase64url(text) {
    if (!/^[A-Za-z0-9_-]*$/.test(text) || text.length % 4 === 1) throw new ShareError('il link contiene caratteri non validi');
    const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return bytes;
}

async function readAll(stream, limit) {
    const bytes = await readBytes(stream, limit);
    if (bytes === null) throw new ShareError('è troppo grande (al massimo 1 MiB di programma e 1 MiB di ingresso)');
    return bytes;
}

// The fragment (without "#") for { source, input, name }.
export async function encodeShare({ source, input = '', name = '' }) {
    if (new TextEncoder().encode(input).length > maxInputBytes) throw new ShareError('l\'ingresso è troppo grande per un link (al massimo 1 MiB)');
    const payload = { source };
    if (input) payload.input = input;
    if (name) payload.name = name;
    const bytes = new TextEncoder().encode(JSON.stringify(payload));
    const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate-raw'));
    return `c=${toBase64url(await readAll(stream, Infinity))}`;
}

// { source, input, name } from a fragment (with or without "#"); null when
// it carries no program; ShareError when it is not a valid one.
export async function decodeShare(fragment) {
    const text = fragment.startsWith('#') ? fragment.slice(1) : fragment;
    if (!text.startsWith('c=')) return null;
    if (text.length > maxFragmentLength) throw new ShareError('il link è troppo lungo');
    const compressed = fromBase64url(text.slice(2));
    let bytes;
    try {
        const stream = new Blob([compressed]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
        bytes = await readAll(stream, maxPayloadBytes);
    } catch (error) {
        if (error instanceof ShareError) throw error;
        throw new ShareError('i dati compressi sono danneggiati');
    }
    let payload;
    try {
        payload = JSON.parse(new TextDecoder('utf-8', { fatal: true }).decode(bytes));
    } catch {
        throw new ShareError('i dati non sono un programma');
    }
    if (!payload || typeof payload !== 'object' || typeof payload.source !== 'string') throw new ShareError('i dati non sono un programma');
    if (new TextEncoder().encode(payload.source).length > maxSourceBytes) {
        throw new ShareError('il programma nel link è troppo grande (al massimo 1 MiB)');
    }
    const input = typeof payload.input === 'string' ? payload.input : '';
    if (new TextEncoder().encode(input).length > maxInputBytes) {
        throw new ShareError('l\'ingresso nel link è troppo grande (al massimo 1 MiB)');
    }
    const name = typeof payload.name === 'string' ? payload.name : '';
    return { source: payload.source, input, name };
}

// Copies to the clipboard the text that the promise `text` gives, and
// resolves to whether it did. The copy is asked for at once, within the
// click, with a ClipboardItem that waits for the text: WebKit refuses a
// copy asked for after an await, the click being over by then. Where
// ClipboardItem is missing or refuses, the text is written once known.
export async function copyWhenReady(text, clipboard = globalThis.navigator?.clipboard, Item = globalThis.ClipboardItem) {
    if (!clipboard) return false;
    try {
        if (typeof Item !== 'function' || typeof clipboard.write !== 'function') throw new TypeError('ClipboardItem');
        const blob = text.then((t) => new Blob([t], { type: 'text/plain' }));
        blob.catch(() => {});
        await clipboard.write([new Item({ 'text/plain': blob })]);
        return true;
    } catch {
        try {
            await clipboard.writeText(await text);
            return true;
        } catch {
            return false;
        }
    }
}

// «Condividi» and the links the page is opened with.
export class Links {
    // work: the page's work (work.js); box: the field «Link da condividere»,
    // shown in `field`.
    constructor({ work, messages, box, field }) {
        Object.assign(this, { work, messages, box, field });
    }

    // Makes the link of the work shown, copies it and shows it.
    async share() {
        const { say } = this.messages;
        const { source, input, name } = this.work.read();
        if (new TextEncoder().encode(source).length > maxSourceBytes) {
            say('Il programma è troppo grande per un link (al massimo 1 MiB).');
            return;
        }
        const page = location.href.replace(/#.*$/, '');
        const made = encodeShare({ source, input, name }).then((fragment) => `${page}#${fragment}`);
        // Asked for now, within the click, and done once the link is made.
        const copying = copyWhenReady(made);
        let link;
        try {
            link = await made;
        } catch (error) {
            say(`Impossibile creare il link: ${error.message}`);
            return;
        }
        this.field.hidden = false;
        this.box.value = link;
        const copied = await copying;
        say(copied ? 'Link copiato negli appunti: lo trovi anche nella casella «Link da condividere».' : 'Copia il link dalla casella «Link da condividere».');
        this.box.focus();
        this.box.select();
    }

    // Opens the work that the page's address carries, as a new work saved
    // only once the student edits it; true when it did.
    async open() {
        const { say } = this.messages;
        let work;
        try {
            work = await decodeShare(location.hash);
        } catch (error) {
            say(`Il link condiviso non è valido: ${error instanceof ShareError ? error.message : 'dati illeggibili'}.`);
            return false;
        }
        if (!work) return false;
        if (!this.work.works.openLink(work)) return false;
        say(`Aperto il programma «${this.work.read().name}.asm» dal link condiviso.`);
        return true;
    }
}
