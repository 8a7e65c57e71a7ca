// The two editions as built: the folder edition loads nothing from other
// origins, fits its first visit in the budget of build.mjs (gzip -9) and works offline after
// it; the single file works from file:// with no server at all. Each runs
// saluto and shows what the native tarnsim shows.
import assert from 'node:assert/strict';
import { copyFileSync, readFileSync, readdirSync } from 'node:fs';
import { join, relative } from 'node:path';
import { pathToFileURL } from 'node:url';
import { test } from 'node:test';
import { gzipSync } from 'node:zlib';
import {
    chromiumMissing,
    examplesDir,
    nativeMissing,
    openBrowser,
    runNative,
    singleFile,
    singleFileMissing,
    siteDir,
    siteMissing,
    startServer,
    tempFolder,
} from '../harness.mjs';
import { firstLoadLimit } from '../../build.mjs';

// What tarnsim prints running saluto.bin with saluto.in, as the page names it.
function nativeConsole(t) {
    const folder = tempFolder({ t }).path;
    const assembled = runNative('tarnasm', [join(examplesDir, 'saluto.asm'), '-o', join(folder, 'saluto.bin')]);
    assert.equal(assembled.status, 0, assembled.stderr);
    const run = runNative('tarnsim', ['saluto.bin'], { cwd: folder, input: readFileSync(join(examplesDir, 'saluto.in')) });
    assert.equal(run.status, 0, run.stderr);
    return run.stdout.toString('utf8');
}

// Loads saluto from the examples, runs it and returns the console's text.
async function runSaluto(page) {
    await page.waitForSelector('body[data-ready="true"]');
    await page.waitForSelector('#examples option[value="saluto"]', { state: 'attached' });
    await page.selectOption('#examples', 'saluto');
    await page.click('#run');
    await page.waitForFunction(() => /spenta con istruzione di RESET/.test(document.querySelector('#console').textContent));
    await page.waitForFunction(() => !document.querySelector('#run').disabled);
    return page.textContent('#console');
}

function siteFiles(folder = siteDir) {
    return readdirSync(folder, { withFileTypes: true }).flatMap((entry) =>
        entry.isDirectory() ? siteFiles(join(folder, entry.name)) : entry.isFile() ? [join(folder, entry.name)] : [],
    );
}

// The page's errors but the browser's own look for /favicon.ico.
const realErrors = (errors) => errors.filter((error) => !/\/favicon\.ico\)$/.test(error));

test('the first visit of the folder edition fits in its budget, gzip -9', { skip: siteMissing }, (t) => {
    const sizes = siteFiles().map((file) => [relative(siteDir, file), gzipSync(readFileSync(file), { level: 9 }).length]);
    const total = sizes.reduce((sum, [, size]) => sum + size, 0);
    const names = sizes.map(([name]) => name);
    for (const name of ['index.html', 'app.js', 'worker.js', 'tarnweb.wasm', 'style.css', 'sw.js']) assert.ok(names.includes(name), name);
    t.diagnostic(`primo caricamento: ${total} byte compressi (gzip -9) su ${firstLoadLimit}`);
    assert.ok(total <= firstLoadLimit, `${total} byte compressi: ${sizes.map(([n, s]) => `${n} ${s}`).join(', ')}`);
});

test('the folder edition asks nothing of other origins and runs saluto as tarnsim does', { skip: chromiumMissing || siteMissing || nativeMissing }, async (t) => {
    const expected = nativeConsole(t);
    const server = await startServer({ t });
    const { context, page, errors } = await openBrowser({ t });
    const requests = [];
    context.on('request', (request) => requests.push(request.url()));
    await page.goto(server.url('index.html'));
    assert.equal(await runSaluto(page), expected);
    await page.evaluate(() => navigator.serviceWorker.ready);
    assert.deepEqual(requests.filter((url) => !url.startsWith(server.origin + '/') && !/^(data|blob):/.test(url)), []);
    assert.deepEqual(realErrors(errors), []);
});

test('after the first visit the folder edition and its exercises work with the server gone', { skip: chromiumMissing || siteMissing || nativeMissing }, async (t) => {
    const expected = nativeConsole(t);
    const server = await startServer({ t });
    const { page, errors } = await openBrowser({ t, persistent: true });
    await page.goto(server.url('index.html'));
    await page.evaluate(async () => {
        await navigator.serviceWorker.ready;
        if (!navigator.serviceWorker.controller) {
            await new Promise((done) => navigator.serviceWorker.addEventListener('controllerchange', done, { once: true }));
        }
    });
    await server.stop();
    await page.reload();
    assert.equal(await runSaluto(page), expected);
    await page.goto(server.url(''));
    assert.equal(await runSaluto(page), expected);
    // The exercises of the site were kept too.
    await page.goto(server.url('index.html?esercizio=esercizi/somma.toml'));
    await page.waitForSelector('body[data-ready="true"]');
    assert.match(await page.textContent('#exercise-info'), /Somma di due cifre/);
    assert.deepEqual(realErrors(errors), []);
});

test('tarnsim.html runs saluto from file:// with no server', { skip: chromiumMissing || singleFileMissing || nativeMissing }, async (t) => {
    const expected = nativeConsole(t);
    const folder = tempFolder({ t }).path;
    copyFileSync(singleFile, join(folder, 'tarnsim.html'));
    const address = pathToFileURL(join(folder, 'tarnsim.html')).href;
    const { context, page, errors } = await openBrowser({ t });
    const requests = [];
    context.on('request', (request) => requests.push(request.url()));
    await page.goto(address);
    assert.equal(await runSaluto(page), expected);
    // No list of exercises beside a single file: no menu «Esercizi».
    assert.equal(await page.getByRole('combobox', { name: 'Esercizi', exact: true }).count(), 0);
    assert.deepEqual(requests.filter((url) => url !== address && !/^(data|blob):/.test(url)), []);
    assert.equal(await page.evaluate(() => navigator.serviceWorker?.controller ?? null), null);
    assert.deepEqual(realErrors(errors), []);
});
