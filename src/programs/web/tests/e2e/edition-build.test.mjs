// build.mjs on a small page of its own (no emscripten needed, but for the
// list of exercises, read by the real module): what goes into site/, the
// build's version in sw.js, and a single file that survives "</script>" in
// its scripts and works from file:// with its worker.
import assert from 'node:assert/strict';
import { copyFileSync, mkdirSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { test } from 'node:test';
import { build, exerciseReader } from '../../build.mjs';
import {
    chromiumMissing,
    examplesDir,
    gluePath,
    moduleMissing,
    openBrowser,
    startServer,
    tempFolder,
    wasmPath,
    webSource,
} from '../harness.mjs';

const tricky = '</script><!-- <script> </SCRIPT >';

const page = `<!doctype html>
<html lang="it">
<head>
<meta charset="utf-8">
<title>prova</title>
<link rel="icon" href="icona.svg">
<link rel="stylesheet" href="style.css">
<script src="app.js" defer></script>
</head>
<body><p id="trucco"></p><p id="esempi"></p><p id="lavoro"></p></body>
</html>
`;

const main = `import examples from 'tarnweb-examples';
import './offline.js';
async function start() {
    let worker;
    let wasm;
    if (globalThis.TARNWEB_INLINE) {
        worker = new Worker(URL.createObjectURL(new Blob([TARNWEB_INLINE.worker], { type: 'text/javascript' })));
        wasm = Uint8Array.from(atob(TARNWEB_INLINE.wasm), (c) => c.charCodeAt(0)).buffer;
    } else {
        worker = new Worker('worker.js');
        wasm = await (await fetch('tarnweb.wasm')).arrayBuffer();
    }
    worker.onmessage = (event) => { document.querySelector('#lavoro').textContent = event.data; };
    worker.postMessage(wasm, [wasm]);
}
document.querySelector('#trucco').textContent = ${JSON.stringify(tricky)};
document.querySelector('#esempi').textContent = examples.map((e) => e.name).join(' ');
start();
`;

const worker = `import describe from 'tarnweb-glue';
onmessage = (event) => postMessage(describe(new Uint8Array(event.data)) + ${JSON.stringify(tricky)});
`;

const glue = `module.exports = (bytes) => 'wasm di ' + bytes.length + ' byte, il primo ' + bytes[0];\n`;

// A source folder like this one, with the stand-ins above.
function sources(t, { html = page, wasm = Buffer.from([0, 97, 115, 109, 1, 0, 0, 0]) } = {}) {
    const folder = tempFolder({ t }).path;
    mkdirSync(join(folder, 'app'));
    mkdirSync(join(folder, 'worker'));
    writeFileSync(join(folder, 'app/index.html'), html);
    writeFileSync(join(folder, 'app/main.js'), main);
    writeFileSync(join(folder, 'app/style.css'), 'p { color: rgb(1, 2, 3); } /* </style> */\n');
    writeFileSync(join(folder, 'app/icona.svg'), '<svg xmlns="http://www.w3.org/2000/svg"/>');
    writeFileSync(join(folder, 'worker/worker.js'), worker);
    copyFileSync(join(webSource, 'app/offline.js'), join(folder, 'app/offline.js'));
    copyFileSync(join(webSource, 'sw.js'), join(folder, 'sw.js'));
    writeFileSync(join(folder, 'glue.js'), glue);
    writeFileSync(join(folder, 'tarnweb.wasm'), wasm);
    return folder;
}

// The stand-in glue has no module to read exercises with: any file is one,
// titled with its name.
const standInReader = (text, name) => ({ ok: true, title: name });

async function buildIn(t, options = {}) {
    const folder = sources(t, options);
    const out = options.out ?? join(folder, 'out');
    const result = await build({
        glue: join(folder, 'glue.js'),
        wasm: join(folder, 'tarnweb.wasm'),
        out,
        sources: folder,
        readExercise: options.readExercise ?? standInReader,
        ...(options.exercisesFolder ? { exercisesFolder: options.exercisesFolder } : {}),
        log: () => {},
    });
    return { ...result, out, site: join(out, 'site') };
}

test('site/ holds the page, its scripts, the wasm, the icon, the exercises and a service worker that knows them all', async (t) => {
    const { site, files, version, sizes } = await buildIn(t);
    const exercises = readdirSync(join(examplesDir, 'esercizi')).filter((f) => f.endsWith('.toml'));
    assert.ok(exercises.length > 0);
    const published = [...exercises, 'indice.json'].map((e) => `esercizi/${e}`);
    const expected = ['app.js', 'icona.svg', 'index.html', 'style.css', 'tarnweb.wasm', 'worker.js', ...published];
    assert.deepEqual(files, ['./', ...expected.sort()]);
    assert.deepEqual(readdirSync(site).sort(), ['app.js', 'esercizi', 'icona.svg', 'index.html', 'style.css', 'sw.js', 'tarnweb.wasm', 'worker.js']);
    assert.deepEqual(readdirSync(join(site, 'esercizi')).sort(), [...exercises, 'indice.json'].sort());
    const sw = readFileSync(join(site, 'sw.js'), 'utf8');
    assert.match(version, /^[0-9a-f]{16}$/);
    assert.ok(sw.includes(JSON.stringify(version)), 'sw.js names its version');
    assert.ok(sw.includes(JSON.stringify(['./', ...expected])), 'sw.js lists every file');
    assert.doesNotMatch(sw, /TARNWEB_(VERSION|FILES)/);
    assert.ok(sizes.gzip > 0 && sizes.gzip < sizes.raw);
});

// ------------------------------------------------------------- exercises

const exercise = (title, more = '') => `titolo = "${title}"\n${more}[[caso]]\nnome = "a"\nuscita = ""\n`;

test('esercizi/indice.json lists every exercise by file name with its title, as the module reads it', { skip: moduleMissing }, async (t) => {
    const readExercise = await exerciseReader({ glue: gluePath, wasm: wasmPath });
    const exercisesFolder = tempFolder({ t }).path;
    writeFileSync(join(exercisesFolder, 'somma più.toml'), exercise('Somma di due cifre', 'testo = """\nLeggi due cifre.\n"""\n'));
    writeFileSync(join(exercisesFolder, '01-eco.toml'), exercise('Eco: \\"ciao\\"'));
    writeFileSync(join(exercisesFolder, 'note.txt'), 'non è un esercizio');
    const { site, files } = await buildIn(t, { readExercise, exercisesFolder });
    const list = readFileSync(join(site, 'esercizi', 'indice.json'), 'utf8');
    assert.deepEqual(JSON.parse(list), [
        { file: '01-eco.toml', title: 'Eco: "ciao"' },
        { file: 'somma più.toml', title: 'Somma di due cifre' },
    ]);
    assert.deepEqual(readdirSync(join(site, 'esercizi')).sort(), ['01-eco.toml', 'indice.json', 'somma più.toml']);
    assert.ok(files.includes('esercizi/indice.json'), 'the service worker keeps the list');

    // A file that cannot be listed fails the build, saying why, and the
    // site built before stays as it was.
    for (const [name, text, message] of [
        ['rotto.toml', 'titolo = "Rotto"\ntesto = 3\n[[caso]]\nnome = "a"\n',
            /l'esercizio \S*rotto\.toml non si può pubblicare:\n\S*rotto\.toml:2:9: errore: 'testo' deve essere una stringa.*\n\S*rotto\.toml:3:1: errore: il caso 'a' non controlla niente/],
        ['tris.toml', exercise('Somma di due cifre'), /tris\.toml: ha lo stesso titolo di somma più\.toml, «Somma di due cifre»/],
        ['a#b.toml', exercise('Cancelletto'), /a#b\.toml: il nome di un esercizio può avere solo lettere/],
        ['su..giù.toml', exercise('Punti'), /su\.\.giù\.toml: il nome di un esercizio/],
        ['latino.toml', Buffer.from('titolo = "caff\xe8"\n', 'latin1'), /latino\.toml: il file non è testo UTF-8 valido/],
    ]) {
        const path = join(exercisesFolder, name);
        writeFileSync(path, text);
        await assert.rejects(buildIn(t, { readExercise, exercisesFolder, out: join(site, '..') }), message, name);
        rmSync(path);
        assert.equal(readFileSync(join(site, 'esercizi', 'indice.json'), 'utf8'), list, name);
    }
});

test('the version changes with any file and only then', async (t) => {
    const first = await buildIn(t);
    const again = await buildIn(t);
    const otherWasm = await buildIn(t, { wasm: Buffer.from([0, 97, 115, 109, 1, 0, 0, 0, 0]) });
    assert.equal(again.version, first.version);
    assert.notEqual(otherWasm.version, first.version);
});

test('a page naming anything outside its folder is refused', async (t) => {
    for (const [tag, message] of [
        ['<script src="https://esempio.it/x.js"></script>', /fuori dalla cartella/],
        ['<link rel="stylesheet" href="//esempio.it/x.css">', /fuori dalla cartella/],
        ['<img src="../segreto.png">', /fuori dalla cartella/],
        ['<img src="manca.png">', /non è un file del sito/],
    ]) {
        await assert.rejects(buildIn(t, { html: page.replace('</body>', `${tag}</body>`) }), message, tag);
    }
});

test('tarnsim.html is one file that works from file:// with its worker', { skip: chromiumMissing }, async (t) => {
    const { out } = await buildIn(t);
    const html = readFileSync(join(out, 'tarnsim.html'), 'utf8');
    assert.doesNotMatch(html, /\b(src|href)\s*=\s*["']?(?!data:)[a-z.]/i);
    const folder = tempFolder({ t }).path;
    copyFileSync(join(out, 'tarnsim.html'), join(folder, 'tarnsim.html'));
    const { page: tab, errors } = await openBrowser({ t });
    const requests = [];
    tab.on('request', (request) => requests.push(request.url()));
    const address = pathToFileURL(join(folder, 'tarnsim.html')).href;
    await tab.goto(address);
    await tab.waitForFunction(() => document.querySelector('#lavoro').textContent !== '');
    assert.equal(await tab.textContent('#trucco'), tricky);
    assert.equal(await tab.textContent('#lavoro'), `wasm di 8 byte, il primo 0${tricky}`);
    assert.match(await tab.textContent('#esempi'), /\bsaluto\b/);
    assert.equal(await tab.$eval('p', (p) => getComputedStyle(p).color), 'rgb(1, 2, 3)');
    assert.deepEqual(requests.filter((r) => r !== address && !r.startsWith('data:') && !r.startsWith('blob:')), []);
    assert.deepEqual(errors, []);
});

// ------------------------------------------------------------ service worker

// The page, once its service worker controls it.
async function visit(tab, address) {
    await tab.goto(address);
    await tab.waitForFunction(() => document.querySelector('#lavoro').textContent !== '');
    await tab.evaluate(async () => {
        await navigator.serviceWorker.ready;
        if (!navigator.serviceWorker.controller) {
            await new Promise((done) => navigator.serviceWorker.addEventListener('controllerchange', done, { once: true }));
        }
    });
}

function fetchText(tab, address) {
    return tab.evaluate(async (a) => {
        try {
            const response = await fetch(a);
            return `${response.status} ${await response.text()}`;
        } catch (error) {
            return `errore ${error.name}`;
        }
    }, address);
}

test('after the first visit the page works with the server gone, and exercises come from the network first', { skip: chromiumMissing }, async (t) => {
    const { site } = await buildIn(t);
    const server = await startServer({ folder: site, t });
    const { page: tab, errors } = await openBrowser({ t, persistent: true });
    await visit(tab, server.url('index.html'));
    writeFileSync(join(site, 'mio.toml'), 'prima');
    writeFileSync(join(site, 'esercizi', 'somma.toml'), 'nuova');
    assert.equal(await fetchText(tab, 'mio.toml'), '200 prima');
    assert.equal(await fetchText(tab, 'esercizi/somma.toml'), '200 nuova');
    writeFileSync(join(site, 'mio.toml'), 'dopo');
    assert.equal(await fetchText(tab, 'mio.toml'), '200 dopo');

    await server.stop();
    for (const path of ['index.html', '', 'index.html?esercizio=esercizi/somma.toml']) {
        await tab.goto(server.url(path));
        await tab.waitForFunction(() => document.querySelector('#lavoro').textContent !== '');
        assert.match(await tab.textContent('#lavoro'), /^wasm di 8 byte/, path);
    }
    assert.equal(await fetchText(tab, 'mio.toml'), '200 dopo');
    assert.equal(await fetchText(tab, 'esercizi/somma.toml'), '200 nuova');
    assert.equal(await fetchText(tab, 'esercizi/tabella.toml'), `200 ${readFileSync(join(examplesDir, 'esercizi/tabella.toml'), 'utf8')}`);
    assert.equal(await fetchText(tab, 'mai-visto.toml'), 'errore TypeError');
    assert.deepEqual(errors.filter((e) => !/Failed to load resource|ERR_CONNECTION_REFUSED|Failed to fetch/.test(e)), []);
});

test('the service worker keeps nothing of other origins', { skip: chromiumMissing }, async (t) => {
    const { site } = await buildIn(t);
    const server = await startServer({ folder: site, t });
    const other = await startServer({
        folder: site,
        t,
        routes: {
            '/altro.toml': (request, response) => {
                response.writeHead(200, { 'Content-Type': 'text/plain', 'Access-Control-Allow-Origin': '*' });
                response.end('altrove');
            },
        },
    });
    const { page: tab } = await openBrowser({ t, persistent: true });
    await visit(tab, server.url('index.html'));
    assert.equal(await fetchText(tab, other.url('altro.toml')), '200 altrove');
    await other.stop();
    assert.equal(await fetchText(tab, other.url('altro.toml')), 'errore TypeError');
    const cached = await tab.evaluate(async () => {
        const urls = [];
        for (const name of await caches.keys()) {
            for (const request of await (await caches.open(name)).keys()) urls.push(request.url);
        }
        return urls;
    });
    assert.ok(cached.length > 0);
    assert.deepEqual(cached.filter((url) => !url.startsWith(server.origin + '/')), []);
});

test('a new build takes over once the pages of the old one are closed, and its cache replaces the old', { skip: chromiumMissing }, async (t) => {
    const first = await buildIn(t);
    const server = await startServer({ folder: first.site, t });
    const { context, page: tab } = await openBrowser({ t, persistent: true });
    await visit(tab, server.url('index.html'));
    const cacheNames = (p) => p.evaluate(async () => (await caches.keys()).filter((n) => n.startsWith('tarnweb-sito-')));
    assert.deepEqual(await cacheNames(tab), [`tarnweb-sito-${first.version}`]);

    const second = await buildIn(t, { out: first.out, wasm: Buffer.from([0, 97, 115, 109, 1, 0, 0, 0, 0]) });
    assert.notEqual(second.version, first.version);
    // A reload finds the new build but goes on with the old one, whole.
    await tab.reload();
    await tab.waitForFunction(() => document.querySelector('#lavoro').textContent !== '');
    assert.match(await tab.textContent('#lavoro'), /^wasm di 8 byte/);
    await tab.evaluate(async () => {
        const registration = await navigator.serviceWorker.getRegistration();
        await registration.update();
        const next = registration.installing ?? registration.waiting;
        if (next && next.state !== 'installed') {
            await new Promise((done) => next.addEventListener('statechange', () => next.state === 'installed' && done()));
        }
    });

    const fresh = await context.newPage();
    await tab.close();
    // With no page of the old build left, the new one activates.
    const worker = context.serviceWorkers().at(-1);
    await worker.evaluate(
        () =>
            new Promise((done) => {
                const check = () => {
                    const r = self.registration;
                    if (!r.installing && !r.waiting && r.active?.state === 'activated') done();
                    else setTimeout(check, 20);
                };
                check();
            }),
    );
    await visit(fresh, server.url('index.html'));
    assert.match(await fresh.textContent('#lavoro'), /^wasm di 9 byte/);
    assert.deepEqual(await cacheNames(fresh), [`tarnweb-sito-${second.version}`]);
});
