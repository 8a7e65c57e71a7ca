// The page in three engines: Chromium through playwright-core, Firefox ESR
// through puppeteer-core over WebDriver BiDi, and WebKitGTK's MiniBrowser
// through selenium-webdriver and WebKitWebDriver (on an X display: run it
// under xvfb-run). Each driver opens its browser on a profile of its own
// and gives the same small API, so that a scenario states its flows once:
//
//     page.goto(url)             loads url as a new document (even when only
//                                the fragment differs from the page's)
//     page.click(selector)       a click, as the user's
//     page.fill(selector, text)  clicks a field (an input, a textarea, the
//                                editor), selects all, deletes it and types
//                                text key by key ("\n" is Enter)
//     page.choose(selector, value)  picks the option of a <select>
//     page.press(key)            "Enter" or one character, to the element
//                                that has the focus
//     page.text(selector)        an element's textContent
//     page.value(selector)       a field's value
//     page.evaluate(fn, arg)     fn(arg) run in the page (its result awaited)
//     page.waitFor(fn, arg)      until fn(arg), run in the page, is truthy
//     page.clipboard()           the text in the clipboard, pasted with
//                                Ctrl+V as a user would (pasteBox)
//     page.download(action)      { name, text } of the file that action()
//                                has the page save
//     page.close()               ends the browser and removes its folders
//
// Functions given to the page are sent as their source: they see only
// their argument, which must be JSON.
//
//     import { engine, engineMissing, openEngine } from '../engines/engines.mjs';
//     const page = await openEngine(engine);
//
// TARNWEB_ENGINE names the engine (chromium, firefox or webkit; chromium by
// default). Under CI an engine that is missing fails instead of skipping.
import { existsSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { join } from 'node:path';

export const engineNames = ['chromium', 'firefox', 'webkit'];
export const engine = process.env.TARNWEB_ENGINE || 'chromium';

// How long a wait lasts before it fails: long enough for a busy machine.
export const waitTimeout = 60_000;

const drivers = {
    chromium: () => import('./chromium.mjs'),
    firefox: () => import('./firefox.mjs'),
    webkit: () => import('./webkit.mjs'),
};

// Why `name` cannot run here, for `test(..., { skip })`, or false.
export async function engineMissing(name) {
    if (!drivers[name]) return `motore sconosciuto: ${name} (TARNWEB_ENGINE è uno tra ${engineNames.join(', ')})`;
    const reason = (await drivers[name]()).missing();
    return reason && !process.env.CI ? reason : false;
}

export async function openEngine(name) {
    if (!drivers[name]) throw new Error(`motore sconosciuto: ${name}`);
    return (await drivers[name]()).open();
}

// The clipboard read as a user reads it: pasted with Ctrl+V into a text box
// that the driver adds to the page for the moment (open), then read and
// taken away (take).
export const pasteBox = {
    open: () => {
        const area = document.createElement('textarea');
        area.id = 'appunti-del-test';
        area.setAttribute('aria-label', 'Appunti letti dal test');
        document.body.append(area);
        area.focus();
    },
    take: () => {
        const area = document.getElementById('appunti-del-test');
        const text = area.value;
        area.remove();
        return text;
    },
};

// The first file `folder` holds once no download into it is under way
// (Firefox writes NAME.part, WebKit NAME.wkdownload, beside NAME): its name
// and its text, then the folder emptied for the next one.
export async function takeDownload(folder, { timeout = waitTimeout } = {}) {
    const partial = /\.(part|wkdownload|crdownload)$/;
    const end = Date.now() + timeout;
    for (;;) {
        const names = existsSync(folder) ? readdirSync(folder) : [];
        const done = names.filter((n) => !partial.test(n));
        if (done.length > 0 && !names.some((n) => partial.test(n))) {
            const name = done.sort()[0];
            const text = readFileSync(join(folder, name), 'utf8');
            for (const n of names) rmSync(join(folder, n), { force: true, recursive: true });
            return { name, text };
        }
        if (Date.now() > end) throw new Error(`nessun file scaricato in ${folder} (c'è: ${names.join(', ') || 'niente'})`);
        await new Promise((done) => setTimeout(done, 50));
    }
}
