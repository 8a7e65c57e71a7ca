// WebKitGTK: Debian's WebKitWebDriver, started here on a free port of
// 127.0.0.1, drives its MiniBrowser, and selenium-webdriver speaks to it as
// to a remote server (so that it never looks for a driver to download).
// MiniBrowser needs an X display: run the tests under xvfb-run. HOME, the
// XDG folders (the download folder among them, through user-dirs.dirs) and
// the runtime folder are a fresh folder of ours, which is also what lets it
// run as root; it never fetches anything by itself, and its DNS
// prefetching is off. The clipboard, X's, is read back by a paste.
import { spawn } from 'node:child_process';
import { existsSync, mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { join } from 'node:path';
import { tempFolder } from '../harness.mjs';
import { pasteBox, takeDownload, waitTimeout } from './engines.mjs';

export const driverPath = process.env.TARNSIM_WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';
export const miniBrowserPath = process.env.TARNSIM_MINIBROWSER || findMiniBrowser();

// Where Debian's libwebkit2gtk puts it: /usr/lib/TRIPLET/webkit2gtk-4.1/.
function findMiniBrowser() {
    const folders = existsSync('/usr/lib') ? readdirSync('/usr/lib') : [];
    for (const folder of folders) {
        const path = join('/usr/lib', folder, 'webkit2gtk-4.1', 'MiniBrowser');
        if (existsSync(path)) return path;
    }
    return '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
}

export function missing() {
    if (!existsSync(driverPath)) return `WebKitWebDriver non trovato in ${driverPath} (pacchetto webkit2gtk-driver; scripts/setup --ci lo installa)`;
    if (!existsSync(miniBrowserPath)) return `MiniBrowser non trovato in ${miniBrowserPath} (pacchetto webkit2gtk-driver)`;
    if (!process.env.DISPLAY) return 'WebKitGTK vuole uno schermo X: esegui il test con xvfb-run (pacchetto xvfb; scripts/setup --ci lo installa)';
    return '';
}

async function freePort() {
    const server = createServer();
    await new Promise((done, fail) => {
        server.once('error', fail);
        server.listen(0, '127.0.0.1', done);
    });
    const { port } = server.address();
    await new Promise((done) => server.close(done));
    return port;
}

const pause = (ms) => new Promise((done) => setTimeout(done, ms));

// The processes of the process group `group` that still run (zombies left
// aside), read from /proc.
function groupRunning(group) {
    let count = 0;
    for (const entry of readdirSync('/proc')) {
        if (!/^\d+$/.test(entry)) continue;
        let stat;
        try {
            stat = readFileSync(`/proc/${entry}/stat`, 'utf8');
        } catch {
            continue;
        }
        // "PID (NAME) STATE PPID PGRP ...", where NAME may hold anything.
        const [state, , pgrp] = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
        if (Number(pgrp) === group && state !== 'Z') count++;
    }
    return count;
}

// Ends the process group `group` (WebKitWebDriver, MiniBrowser and
// WebKit's own processes, which outlive the session for a moment), and
// waits until none of it runs, so that its folders can go.
async function endGroup(group) {
    for (const signal of ['SIGTERM', 'SIGKILL']) {
        if (groupRunning(group) === 0) return;
        try {
            process.kill(-group, signal);
        } catch {
            return;
        }
        const end = Date.now() + 10_000;
        while (groupRunning(group) > 0 && Date.now() < end) await pause(50);
    }
}

// WebKitWebDriver on `port`, once it answers, in a process group of its
// own that the browser it starts joins; its output is kept for the message
// of a failure.
async function startDriver(port, env) {
    const child = spawn(driverPath, [`--port=${port}`, '--host=local'], { env, stdio: ['ignore', 'pipe', 'pipe'], detached: true });
    const stop = () => endGroup(child.pid);
    let said = '';
    const keep = (chunk) => {
        said = (said + chunk).slice(-4000);
    };
    child.stdout.on('data', keep);
    child.stderr.on('data', keep);
    let exited = null;
    child.once('exit', (code, signal) => (exited = signal ?? code));
    const end = Date.now() + waitTimeout;
    for (;;) {
        try {
            const response = await fetch(`http://127.0.0.1:${port}/status`);
            if (response.ok) break;
        } catch {
            // Not listening yet.
        }
        if (exited !== null || Date.now() > end) {
            await stop();
            throw new Error(`WebKitWebDriver non risponde (${exited !== null ? `uscito: ${exited}` : 'tempo scaduto'}): ${said}`);
        }
        await pause(50);
    }
    return { stop };
}

export async function open() {
    const { Builder, By, Key, until } = (await import('selenium-webdriver')).default;
    const own = tempFolder({ prefix: 'tarnweb-webkit-' });
    const downloads = join(own.path, 'scaricati');
    const config = join(own.path, 'config');
    mkdirSync(downloads);
    mkdirSync(config);
    writeFileSync(join(config, 'user-dirs.dirs'), `XDG_DOWNLOAD_DIR="${downloads}"\n`);
    const env = {
        ...process.env,
        HOME: own.path,
        TMPDIR: own.path,
        XDG_CONFIG_HOME: config,
        XDG_CACHE_HOME: join(own.path, 'cache'),
        XDG_DATA_HOME: join(own.path, 'data'),
        XDG_RUNTIME_DIR: own.path,
        // No accessibility bus nor session bus to look for (GLib would
        // try to start one through dbus-launch).
        NO_AT_BRIDGE: '1',
        DBUS_SESSION_BUS_ADDRESS: `unix:path=${join(own.path, 'nessun-bus')}`,
    };
    const port = await freePort();
    let server = null;
    let driver;
    try {
        server = await startDriver(port, env);
        driver = await new Builder()
            .usingServer(`http://127.0.0.1:${port}`)
            .withCapabilities({
                browserName: 'MiniBrowser',
                'webkitgtk:browserOptions': { binary: miniBrowserPath, args: ['--automation', '--enable-dns-prefetching=false'] },
            })
            .build();
        await driver.manage().window().setRect({ x: 0, y: 0, width: 1280, height: 1000 });
    } catch (error) {
        await driver?.quit().catch(() => {});
        await server?.stop();
        own.remove();
        throw error;
    }

    const script = (fn) => `return (${fn})(arguments[0]);`;
    const find = (selector) => driver.wait(until.elementLocated(By.css(selector)), waitTimeout, `nessun elemento ${selector}`);
    const keys = (text) => [...text].map((c) => (c === '\n' ? Key.ENTER : c));
    const press = (key) => driver.actions().sendKeys(key === 'Enter' ? Key.ENTER : key).perform();
    return {
        name: 'WebKit',
        async goto(url) {
            await driver.get('about:blank');
            await driver.get(url);
        },
        async click(selector) {
            await (await find(selector)).click();
        },
        async fill(selector, text) {
            await (await find(selector)).click();
            await driver.actions().keyDown(Key.CONTROL).sendKeys('a').keyUp(Key.CONTROL).sendKeys(Key.DELETE).perform();
            if (text !== '') await driver.actions().sendKeys(...keys(text)).perform();
        },
        async choose(selector, value) {
            await (await find(`${selector} option[value="${value}"]`)).click();
        },
        press,
        text: (selector) => driver.executeScript('return document.querySelector(arguments[0]).textContent;', selector),
        value: (selector) => driver.executeScript('return document.querySelector(arguments[0]).value;', selector),
        evaluate: (fn, arg) => driver.executeScript(script(fn), arg),
        async waitFor(fn, arg) {
            await driver.wait(async () => Boolean(await driver.executeScript(script(fn), arg)), waitTimeout, `la pagina non arriva a ${fn}`, 50);
        },
        async clipboard() {
            await driver.executeScript(script(pasteBox.open));
            await driver.actions().keyDown(Key.CONTROL).sendKeys('v').keyUp(Key.CONTROL).perform();
            return driver.executeScript(script(pasteBox.take));
        },
        async download(action) {
            await action();
            return takeDownload(downloads);
        },
        async close() {
            try {
                await driver.quit();
            } finally {
                await server.stop();
                own.remove();
            }
        },
    };
}
