// Debian's Chromium through playwright-core, launched as the other page
// tests launch it (harness.mjs): headless, on a fresh profile, off the
// network. The clipboard is left as a user has it: it is read back by a
// paste.
import { existsSync, readFileSync } from 'node:fs';
import { chromiumPath, openBrowser } from '../harness.mjs';
import { pasteBox, waitTimeout } from './engines.mjs';

export function missing() {
    return existsSync(chromiumPath) ? '' : `Chromium non trovato in ${chromiumPath} (pacchetto chromium; scripts/setup --ci lo installa)`;
}

export async function open() {
    const browser = await openBrowser({ contextOptions: { acceptDownloads: true } });
    const { page } = browser;
    page.setDefaultTimeout(waitTimeout);
    return {
        name: 'Chromium',
        async goto(url) {
            await page.goto('about:blank');
            await page.goto(url);
        },
        click: (selector) => page.click(selector),
        async fill(selector, text) {
            await page.click(selector);
            await page.keyboard.press('Control+A');
            await page.keyboard.press('Delete');
            await page.keyboard.type(text);
        },
        async choose(selector, value) {
            await page.selectOption(selector, value);
        },
        press: (key) => page.keyboard.press(key),
        text: (selector) => page.$eval(selector, (e) => e.textContent),
        value: (selector) => page.$eval(selector, (e) => e.value),
        evaluate: (fn, arg) => page.evaluate(fn, arg),
        async waitFor(fn, arg) {
            await page.waitForFunction(fn, arg);
        },
        async clipboard() {
            await page.evaluate(pasteBox.open);
            await page.keyboard.press('Control+V');
            return page.evaluate(pasteBox.take);
        },
        async download(action) {
            const [download] = await Promise.all([page.waitForEvent('download'), action()]);
            return { name: download.suggestedFilename(), text: readFileSync(await download.path(), 'utf8') };
        },
        close: () => browser.close(),
    };
}
