// The student's saved works, "I miei programmi": every program typed in the
// page is kept in the browser under a name, each in an entry of its own, and
// each tab saves into one entry, its own: two tabs never save into the same.
//
// An entry is localStorage['tarnsim-lavoro-ID'], the JSON of
// { name, source, input, created, changed } (times in milliseconds). The one
// entry that earlier versions kept, 'tarnsim-lavoro' ({ source, name,
// input }), is read as a work like the others, the first of the list, and is
// saved again under its own key: nothing is moved, so nothing can be lost.
//
// A work enters the list when the student changes it: an example, a shared
// link or a new program stays out of it until then, and never takes the
// place of a typed work, which stays in its entry.
//
// What a tab shows survives its reload through sessionStorage['tarnsim-scheda']:
// { key } (the entry it saves into), { example } or { fresh } (a work not
// yet saved), with `left` set when the page goes away and cleared while it
// lives. A duplicated tab gets a copy of that storage while its original still
// lives, so it finds `left` clear, and the entry still open elsewhere.
//
// Which entries are open: each tab holds a Web Lock named after the entry it
// saves into, which the browser releases when the tab goes. Without Web
// Locks (an address that is not https), a tab whose entry another page
// writes (the 'storage' event) goes on in an entry of its own.
import { defaultName, programName } from './files.js';

const keyPrefix = 'tarnsim-lavoro';
const keyPattern = /^tarnsim-lavoro(-[0-9a-z]{1,40})?$/;
const sessionKey = 'tarnsim-scheda';
const lockPrefix = 'tarnsim:';
// How long a reloaded tab waits for its page of before to let its entry go.
const reloadWait = 3000;
const saveDelay = 300;

// The list keeps at most this many works and this many characters (keys and
// entries together, as the browsers count their quota of about 5 million).
export const maxWorks = 100;
export const maxCharacters = 2_000_000;

export const isWorkKey = (key) => typeof key === 'string' && keyPattern.test(key);

function newKey() {
    const random = crypto.getRandomValues(new Uint32Array(2));
    return `${keyPrefix}-${Date.now().toString(36)}${[...random].map((n) => n.toString(36)).join('')}`;
}

// A stored entry as a work, or null when it is not one.
export function parseWork(text) {
    let value;
    try {
        value = JSON.parse(text);
    } catch {
        return null;
    }
    if (!value || typeof value !== 'object' || typeof value.source !== 'string') return null;
    const time = (n) => (Number.isFinite(n) && n > 0 ? n : 0);
    return {
        source: value.source,
        name: programName(value.name),
        input: typeof value.input === 'string' ? value.input : '',
        created: time(value.created),
        changed: time(value.changed),
    };
}

// Every entry of the list: { key, size, work } (work null when unreadable),
// and the characters they take. Throws when the browser refuses the storage.
function storedWorks() {
    const entries = [];
    let total = 0;
    for (let i = 0; i < localStorage.length; i++) {
        const key = localStorage.key(i);
        if (!isWorkKey(key)) continue;
        const text = localStorage.getItem(key) ?? '';
        const size = key.length + text.length;
        total += size;
        entries.push({ key, size, work: parseWork(text) });
    }
    return { entries, total };
}

function readWork(key) {
    try {
        const text = localStorage.getItem(key);
        return text === null ? null : parseWork(text);
    } catch {
        return null;
    }
}

const lockManager = () => (typeof navigator !== 'undefined' && typeof navigator.locks?.request === 'function' ? navigator.locks : null);

const fileName = (work) => `${programName(work.name)}.asm`;

export class Works {
    // examples: [{ name, source, input }]; read() gives the page's work
    // { source, name, input }; load(work) puts one in the page; say(...lines)
    // and add(line) tell the student; dialog: the list's <dialog>, holding
    // #works-list and #works-note.
    constructor({ examples, read, load, say, add, dialog }) {
        Object.assign(this, { examples, read, load, say, add, dialog });
        this.list = dialog.querySelector('#works-list');
        this.note = dialog.querySelector('#works-note');
        // The entry this tab saves into; null while its work is not saved.
        this.key = null;
        this.created = 0;
        // What the tab shows while it saves nothing: { example }, { fresh },
        // { link } or { key } (a copy of a work open in another tab).
        this.origin = { fresh: true };
        this.dirty = false;
        this.timer = null;
        // The reason the last save was refused, said once until one succeeds.
        this.refused = null;
        this.releases = new Map();
        this.noLocks = lockManager() === null;
        this.session = this.readSession();
        // Until restore() has chosen, the tab's state is the one it found.
        this.restored = false;
        this.writeSession(false);
        addEventListener('pagehide', () => {
            this.saveNow();
            this.writeSession(true);
        });
        addEventListener('pageshow', (event) => {
            if (event.persisted) this.writeSession(false);
        });
        addEventListener('storage', (event) => this.storageChanged(event));
    }

    // ------------------------------------------------------------ session

    readSession() {
        try {
            const state = JSON.parse(sessionStorage.getItem(sessionKey));
            return state && typeof state === 'object' ? state : null;
        } catch {
            return null;
        }
    }

    writeSession(left) {
        const state = !this.restored ? { ...this.session } : this.key ? { key: this.key } : { ...this.origin };
        state.left = left;
        try {
            sessionStorage.setItem(sessionKey, JSON.stringify(state));
        } catch {
            // Without it a reload starts as a new tab would: nothing is lost.
        }
    }

    // -------------------------------------------------------------- locks

    // Whether this tab may save into `key`: no other tab has it open. With
    // `wait`, waits so long for a page that is going away to let it go.
    claim(key, wait = 0) {
        const locks = lockManager();
        if (this.releases.has(key) || this.noLocks || !locks) return Promise.resolve(true);
        return new Promise((resolve) => {
            const controller = wait > 0 ? new AbortController() : null;
            const timer = controller ? setTimeout(() => controller.abort(), wait) : 0;
            const options = controller ? { signal: controller.signal } : { ifAvailable: true };
            const granted = (lock) => {
                clearTimeout(timer);
                if (!lock) {
                    resolve(false);
                    return undefined;
                }
                resolve(true);
                return new Promise((release) => this.releases.set(key, release));
            };
            const failed = (error) => {
                clearTimeout(timer);
                if (error?.name === 'AbortError') return resolve(false);
                // A browser that keeps no locks here (a file, an opaque
                // origin): nothing is known of the other tabs.
                this.noLocks = true;
                resolve(true);
            };
            try {
                locks.request(lockPrefix + key, options, granted).catch(failed);
            } catch (error) {
                failed(error);
            }
        });
    }

    release(key) {
        const release = this.releases.get(key);
        this.releases.delete(key);
        release?.();
    }

    // The entries other tabs have open, as far as the browser tells.
    async openElsewhere() {
        const locks = lockManager();
        if (this.noLocks || !locks) return new Set();
        try {
            const { held = [] } = await locks.query();
            const keys = held.map((lock) => lock.name).filter((name) => name?.startsWith(lockPrefix));
            return new Set(keys.map((name) => name.slice(lockPrefix.length)).filter((key) => !this.releases.has(key)));
        } catch {
            return new Set();
        }
    }

    // ------------------------------------------------------------- saving

    // The page's work changed; `typed` when the student did it (a file
    // opened counts too), rather than a work being loaded.
    changed(typed) {
        if (!typed) return;
        if (!this.key) {
            this.key = newKey();
            this.created = Date.now();
            this.claim(this.key);
            // A shared link stays in the address until the student edits.
            if (this.origin.link && location.hash) history.replaceState(null, '', location.pathname + location.search);
            this.writeSession(false);
        }
        this.dirty = true;
        clearTimeout(this.timer);
        this.timer = setTimeout(() => this.saveNow(), saveDelay);
    }

    // Writes the work into its entry now; false when it stays unsaved.
    saveNow() {
        clearTimeout(this.timer);
        this.timer = null;
        if (!this.key || !this.dirty) return true;
        const { source, name, input } = this.read();
        const text = JSON.stringify({ name: programName(name), source, input, created: this.created, changed: Date.now() });
        let stored;
        try {
            stored = storedWorks();
        } catch (error) {
            return this.refuse(error);
        }
        const others = stored.entries.filter((entry) => entry.key !== this.key);
        if (others.length === stored.entries.length && others.filter((entry) => entry.work).length >= maxWorks) return this.refuse('count');
        if (others.reduce((sum, entry) => sum + entry.size, 0) + this.key.length + text.length > maxCharacters) return this.refuse('size');
        try {
            localStorage.setItem(this.key, text);
        } catch (error) {
            return this.refuse(error);
        }
        this.dirty = false;
        if (this.refused) {
            this.refused = null;
            this.add('Il programma è di nuovo salvato in «I miei programmi».');
        }
        if (this.dialog.open) this.render();
        return true;
    }

    // Says once why the work is not saved; the entry keeps what it had.
    refuse(reason) {
        const said = typeof reason === 'string' ? reason : 'browser';
        if (this.refused !== said) {
            this.refused = said;
            const room = 'Elimina in «I miei programmi» quelli che non ti servono più, o usa «Salva» per non perderlo.';
            if (reason === 'count') this.refusal = `Il programma non è salvato: «I miei programmi» ne tiene al massimo ${maxWorks}. ${room}`;
            else if (reason === 'size') this.refusal = `Il programma non è salvato: «I miei programmi» tiene al massimo 2 milioni di caratteri. ${room}`;
            else this.refusal = `Il browser non permette di salvare il lavoro (${reason?.name ?? 'errore'}): usa «Salva» per non perderlo.`;
            this.add(this.refusal);
        }
        return false;
    }

    // Why the work shown is not saved, while it is not: the page keeps it
    // under whatever else it says, so that it is never lost from sight.
    get unsavedNote() {
        return this.refused ? this.refusal : null;
    }

    // Before the page shows another work: the typed one is saved, or it
    // stays and the student is told why.
    leaving() {
        if (this.saveNow()) return true;
        if (this.downloadedText === JSON.stringify(this.read())) return true;
        this.say(`«${fileName(this.read())}» non è ancora salvato: scaricalo con «Salva», o fai posto in «I miei programmi», prima di aprire un altro programma.`);
        return false;
    }

    // "Salva" downloaded the work as it is now: it may leave the page even
    // when the list has no room for it.
    downloaded() {
        this.downloadedText = JSON.stringify(this.read());
    }

    // Another page wrote or deleted this tab's entry.
    storageChanged(event) {
        try {
            if (event.storageArea !== localStorage) return;
        } catch {
            return;
        }
        if (event.key !== null && !isWorkKey(event.key)) return;
        if (event.key !== null && event.key === this.key) {
            const name = fileName(this.read());
            this.release(this.key);
            if (event.newValue === null) {
                this.key = null;
                this.dirty = false;
                this.origin = { fresh: true };
                this.writeSession(false);
                this.add(`«${name}» è stato eliminato in un'altra scheda: se lo modifichi qui, torna in «I miei programmi» come un programma nuovo.`);
            } else {
                // Its own entry from now on, with what this tab shows.
                this.key = newKey();
                this.created = Date.now();
                this.claim(this.key);
                this.dirty = true;
                this.writeSession(false);
                this.add(`«${name}» è stato modificato in un'altra scheda: quello di questa scheda è salvato a parte in «I miei programmi».`);
                this.saveNow();
            }
        } else if (this.dirty && this.refused) {
            // Room may have been made.
            this.saveNow();
        }
        if (this.dialog.open) this.render();
    }

    // ------------------------------------------------------ opening works

    // Shows a work that is not saved yet, in place of this tab's one (which
    // leaving() saved, or "Salva" downloaded); true when that one is in the list.
    show(origin, work) {
        this.restored = true;
        const kept = this.key !== null && !this.dirty;
        this.release(this.key);
        this.key = null;
        this.dirty = false;
        this.refused = null;
        this.origin = origin;
        this.load({ source: work.source, name: work.name, input: work.input });
        this.writeSession(false);
        return kept;
    }

    // A suffix for the message of a work opened in place of a saved one.
    static kept(left) {
        return left ? ' Il programma di prima è in «I miei programmi».' : '';
    }

    openExample(example) {
        if (!this.leaving()) return;
        const left = this.show({ example: example.name }, example);
        this.say(`Caricato l'esempio «${example.name}.asm».${Works.kept(left)}`);
    }

    newWork() {
        if (!this.leaving()) return;
        const left = this.show({ fresh: true }, { source: '', name: defaultName, input: '' });
        this.say(`Nuovo programma.${Works.kept(left)}`);
    }

    // A shared link's work; false when the tab keeps its own.
    openLink(work) {
        if (!this.leaving()) return false;
        this.show({ link: true }, work);
        return true;
    }

    // A file the student opened: a work of its own, saved at once.
    openFile(work) {
        if (!this.leaving()) return false;
        this.show({ fresh: true }, work);
        this.changed(true);
        return true;
    }

    // This tab now saves into `key`, whose work it shows.
    adopt(key, work) {
        this.restored = true;
        this.release(this.key);
        this.key = key;
        this.created = work.created;
        this.dirty = false;
        this.refused = null;
        this.origin = { fresh: true };
        this.load({ source: work.source, name: work.name, input: work.input });
        this.writeSession(false);
    }

    // A work of the list, in this tab.
    async open(key) {
        if (key === this.key) return this.dialog.close();
        const work = readWork(key);
        if (!work) {
            this.say('Quel programma non c\'è più: forse è stato eliminato in un\'altra scheda.');
            return this.render();
        }
        if (!(await this.claim(key))) {
            this.say(`«${fileName(work)}» è aperto in un'altra scheda: continua lì.`);
            return this.render();
        }
        if (!this.leaving()) return this.release(key);
        this.adopt(key, readWork(key) ?? work);
        this.dialog.close();
        this.say(`Aperto «${fileName(work)}» da «I miei programmi».`);
    }

    remove(key) {
        const work = readWork(key);
        try {
            localStorage.removeItem(key);
        } catch (error) {
            this.say(`Impossibile eliminare il programma: ${error?.name ?? 'errore'}.`);
            return;
        }
        const name = work ? fileName(work) : 'il programma';
        if (key === this.key) {
            this.release(key);
            this.key = null;
            this.dirty = false;
            this.show({ fresh: true }, { source: '', name: defaultName, input: '' });
            this.say(`Eliminato «${name}»: qui c'è un nuovo programma.`);
        } else {
            this.say(`Eliminato «${name}».`);
        }
        if (this.dirty) this.saveNow();
        this.render();
    }

    // What the tab shows at start-up, when no link gives it a work: after a
    // reload its own; else the last work changed that no other tab has
    // open; else a new program; on a first visit the example `saluto`.
    async restore() {
        const state = this.session;
        this.restored = true;
        if (typeof state?.key === 'string' && isWorkKey(state.key)) {
            const work = readWork(state.key);
            if (work) {
                const claimed = await this.claim(state.key, state.left ? reloadWait : 0);
                // Without locks, a page that did not go away is still open:
                // this tab is its duplicate.
                if (claimed && (state.left || !this.noLocks)) return this.adopt(state.key, readWork(state.key) ?? work);
                // A copy of a tab whose work is still open there.
                this.show({ key: state.key }, work);
                this.add(`«${fileName(work)}» è aperto anche in un'altra scheda: qui ne hai una copia, che è salvata a parte appena la modifichi.`);
                return undefined;
            }
        }
        const example = this.examples.find((e) => e.name === state?.example);
        if (example) return this.show({ example: example.name }, example);
        if (state?.fresh) return this.show({ fresh: true }, { source: '', name: defaultName, input: '' });
        let entries = [];
        try {
            entries = storedWorks().entries.filter((entry) => entry.work);
        } catch {
            // Said at the first save.
        }
        entries.sort((a, b) => b.work.changed - a.work.changed);
        const elsewhere = await this.openElsewhere();
        for (const { key, work } of entries) {
            if (!elsewhere.has(key) && (await this.claim(key))) return this.adopt(key, readWork(key) ?? work);
        }
        if (entries.length > 0) {
            this.show({ fresh: true }, { source: '', name: defaultName, input: '' });
            this.add('Nuovo programma: quelli salvati sono in «I miei programmi».');
            return undefined;
        }
        const first = this.examples.find((e) => e.name === 'saluto') ?? this.examples[0];
        if (first) this.show({ example: first.name }, first);
        return undefined;
    }

    // --------------------------------------------------------------- list

    showList() {
        // Emptied first: what it shows is never the list of before.
        this.note.textContent = '';
        this.list.replaceChildren();
        this.render();
        if (this.dialog.open) return;
        this.dialog.showModal();
        // Its title, not the "Chiudi" at its end: it opens at its beginning.
        this.dialog.scrollTop = 0;
        this.dialog.querySelector('h2')?.focus({ preventScroll: true });
    }

    async render() {
        const round = (this.rendered = (this.rendered ?? 0) + 1);
        let stored;
        try {
            stored = storedWorks();
        } catch (error) {
            this.note.textContent = `Il browser non permette di salvare i programmi (${error?.name ?? 'errore'}): usa «Salva» per non perderli.`;
            this.list.replaceChildren();
            return;
        }
        const elsewhere = await this.openElsewhere();
        // A later rendering has begun meanwhile: it shows the list.
        if (round !== this.rendered) return;
        const entries = stored.entries.filter((entry) => entry.work).sort((a, b) => a.work.created - b.work.created || (a.key < b.key ? -1 : 1));
        const count = entries.length;
        const used = Math.ceil((stored.total * 100) / maxCharacters);
        this.note.textContent =
            `${count === 1 ? '1 programma salvato' : `${count} programmi salvati`} in questo browser, ` +
            `al massimo ${maxWorks}; spazio usato: ${used} % di 2 milioni di caratteri.`;
        if (count === 0) {
            const empty = document.createElement('li');
            empty.textContent = 'Nessun programma salvato: quelli che scrivi o modifichi si salvano qui da soli.';
            this.list.replaceChildren(empty);
            return;
        }
        this.list.replaceChildren(...entries.map(({ key, work }) => this.item(key, work, elsewhere.has(key))));
    }

    item(key, work, openElsewhere) {
        const li = document.createElement('li');
        li.className = 'work';
        const name = fileName(work);
        const title = document.createElement('span');
        title.className = 'work-name';
        title.textContent = name;
        const details = document.createElement('span');
        details.className = 'work-details';
        const when = work.changed ? `modificato il ${new Date(work.changed).toLocaleString('it-IT', { dateStyle: 'short', timeStyle: 'short' })}` : '';
        const where = key === this.key ? 'in questa scheda' : openElsewhere ? 'aperto in un\'altra scheda' : '';
        details.textContent = [when, where].filter(Boolean).join(', ');
        const actions = document.createElement('span');
        actions.className = 'work-actions';
        const open = button('Apri', `Apri ${name}`, () => this.open(key));
        open.disabled = key === this.key || openElsewhere;
        const remove = button('Elimina', `Elimina ${name}`, () => {
            const yes = button('Sì, elimina', `Sì, elimina ${name}`, () => this.remove(key));
            const no = button('No', 'No, tienilo', () => this.render());
            const question = document.createElement('span');
            question.textContent = 'Eliminarlo davvero? ';
            actions.replaceChildren(question, yes, no);
            no.focus();
        });
        remove.disabled = openElsewhere;
        actions.append(open, remove);
        li.append(title, details, actions);
        return li;
    }
}

function button(text, label, action) {
    const element = document.createElement('button');
    element.type = 'button';
    element.textContent = text;
    element.setAttribute('aria-label', label);
    element.addEventListener('click', action);
    return element;
}
