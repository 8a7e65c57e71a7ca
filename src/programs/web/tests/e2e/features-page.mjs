// What the page's feature tests share: the page open in Chromium and ready,
// the source set through the editor, the regions read as a student sees them,
// and the native programs' view of the same program.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { chromiumMissing, nativeMissing, openBrowser, runNative, siteMissing, startServer, tempFolder } from '../harness.mjs';

export const skipPage = chromiumMissing || siteMissing;
export const skipNative = chromiumMissing || siteMissing || nativeMissing;

// The folder edition served and open at `path`, its worker ready.
export async function openPage(t, { path = 'index.html', viewport, server, routes, browser } = {}) {
    server ??= await startServer({ t, routes });
    const opened = browser ?? (await openBrowser({ t, viewport, serviceWorkers: 'block', contextOptions: { acceptDownloads: true } }));
    await opened.page.goto(server.url(path));
    await waitReady(opened.page);
    return { ...opened, server };
}

export async function waitReady(page) {
    await page.waitForSelector('body[data-ready="true"]', { state: 'attached' });
}

export function region(page, name) {
    return page.getByRole('region', { name, exact: true });
}

export function button(page, name) {
    return page.getByRole('button', { name, exact: true });
}

// Replaces the editor's text as a student's paste would.
export async function setSource(page, text) {
    const editor = page.getByRole('textbox', { name: 'Programma', exact: true });
    await editor.click();
    await page.keyboard.press('Control+A');
    await page.keyboard.press('Delete');
    if (text !== '') await page.keyboard.insertText(text);
    assert.equal(await sourceText(page), text);
}

// The editor's whole text, from CodeMirror's lines.
export async function sourceText(page) {
    return page.evaluate(() => [...document.querySelectorAll('.cm-content .cm-line')].map((l) => l.textContent).join('\n'));
}

export async function text(page, id) {
    return page.evaluate((i) => document.getElementById(i).textContent, id);
}

// Waits until `predicate(textOf(id))` holds in the page.
export async function waitText(page, id, pattern) {
    await page.waitForFunction(
        ([i, source, flags]) => new RegExp(source, flags).test(document.getElementById(i).textContent),
        [id, pattern.source, pattern.flags],
    );
}

// Clicks "Verifica" and waits for that verification to end: the button,
// disabled by the click itself, comes back (never the verdicts of an earlier one).
export async function verify(page) {
    await button(page, 'Verifica').click();
    await page.waitForFunction(() => !document.getElementById('verify').disabled);
}

export async function waitIdle(page) {
    await page.waitForFunction(() => !document.getElementById('run').disabled && document.getElementById('stop').disabled);
}

// Lines of a region's list (Diagnostica, Esiti).
export async function lines(page, id) {
    return page.evaluate((i) => [...document.getElementById(i).children].map((li) => li.firstChild?.textContent ?? li.textContent), id);
}

// `source` assembled by tarnasm as NAME.bin and run by tarnsim in a
// temporary folder with `input`: { listing?, console } as the page shows them.
export function nativeRun(t, source, { name = 'programma', input = '' } = {}) {
    const folder = tempFolder({ t }).path;
    writeFileSync(join(folder, `${name}.asm`), source);
    const assembled = runNative('tarnasm', [`${name}.asm`, '-o', `${name}.bin`], { cwd: folder });
    assert.equal(assembled.status, 0, assembled.stderr);
    const fed = input === '' || input.endsWith('\n') ? input : `${input}\n`;
    const run = runNative('tarnsim', [`${name}.bin`], { cwd: folder, input: fed });
    return { status: run.status, console: run.stdout.toString('utf8'), image: readFileSync(join(folder, `${name}.bin`)) };
}

// The registers' and flags' own texts ("PC 12"), then the registers in
// hexadecimal and decimal beside them ("0x0C (12)").
export async function registers(page) {
    return page.evaluate(() => [...document.querySelectorAll('#registers > :not(.hex)')].map((e) => e.textContent));
}

export async function registersHex(page) {
    return page.evaluate(() => [...document.querySelectorAll('#registers > .hex')].map((e) => e.textContent));
}

export async function memory(page) {
    return page.evaluate(() => [...document.querySelectorAll('#memory tbody td')].map((td) => parseInt(td.textContent, 16)));
}

// Holds in the page the worker's replies to the requests whose op is in
// globalThis.heldOps, until globalThis.releaseReplies() hands them on.
// globalThis.pingWorker() resolves once the worker has answered a request
// sent then: whatever it posted before has reached the page.
export function holdWorkerReplies() {
    globalThis.heldOps = new Set();
    const heldIds = new Set();
    const held = [];
    const pings = new Map();
    let pinged = 0;
    globalThis.heldCount = () => held.length;
    globalThis.releaseReplies = () => held.splice(0).forEach((deliver) => deliver());
    globalThis.pingWorker = () =>
        new Promise((answered) => {
            const id = `ping-${++pinged}`;
            pings.set(id, answered);
            globalThis.lastWorker.postMessage({ id, op: 'ping' });
        });
    const Original = Worker;
    globalThis.Worker = class extends Original {
        constructor(...args) {
            super(...args);
            globalThis.lastWorker = this;
        }
        postMessage(message, transfer) {
            if (globalThis.heldOps.has(message?.op)) heldIds.add(message.id);
            super.postMessage(message, transfer);
        }
        set onmessage(handler) {
            super.onmessage = (event) => {
                const id = event.data?.id;
                if (pings.has(id)) {
                    const answered = pings.get(id);
                    pings.delete(id);
                    return answered();
                }
                if (!heldIds.delete(id)) return handler(event);
                held.push(() => handler(event));
            };
        }
        get onmessage() {
            return super.onmessage;
        }
    };
}

// The page open as openPage opens it, with holdWorkerReplies in every page.
export async function openHolding(t, options) {
    const opened = await openPage(t, options);
    await opened.page.context().addInitScript(holdWorkerReplies);
    await opened.page.reload();
    await waitReady(opened.page);
    return opened;
}
