// Builds the browser edition from the app's sources, the worker and the
// emscripten module:
//
//     node build.mjs --glue DIR/tarnweb.js --wasm DIR/tarnweb.wasm --out DIR
//
// writes OUT/site/ (the folder edition: index.html, app.js, worker.js,
// tarnweb.wasm, style.css, sw.js, the app's icons, and in esercizi/ every
// exercise with indice.json, the list of them that the menu "Esercizi"
// shows) and
// OUT/tarnsim.html (the single file: the same page with its style, its script,
// the worker's script and the wasm inlined, which works from file://), then
// prints the size of every file, raw and gzip -9. `--sources DIR` takes
// app/, worker/ and sw.js from DIR instead of this folder; `--esercizi DIR`
// takes the exercises from DIR instead of examples/esercizi.
import * as esbuild from 'esbuild';
import { createHash } from 'node:crypto';
import { copyFile, mkdir, readFile, readdir, rm, stat, writeFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { dirname, extname, join, relative, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';
import { gzipSync } from 'node:zlib';

import { createProtocol } from './worker/protocol.js';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '../../..');

// The most a first visit of site/ may download, gzip -9, everything counted.
export const firstLoadLimit = 460 * 1000;

// Files of app/ copied as they are, besides the page and its style.
const assetTypes = {
    '.svg': 'image/svg+xml',
    '.png': 'image/png',
    '.ico': 'image/x-icon',
};

class BuildError extends Error {}

// Every example of examples/: its source and, when it has one, its input.
async function readExamples(folder) {
    const names = (await readdir(folder)).filter((f) => f.endsWith('.asm')).sort();
    const examples = [];
    for (const file of names) {
        const name = file.slice(0, -'.asm'.length);
        const source = await readFile(join(folder, file), 'utf8');
        let input = '';
        try {
            input = await readFile(join(folder, `${name}.in`), 'utf8');
        } catch (error) {
            if (error.code !== 'ENOENT') throw error;
        }
        examples.push({ name, source, input });
    }
    return examples;
}

// The examples, as a module the app imports by name.
function examplesPlugin(examples) {
    return {
        name: 'tarnweb-examples',
        setup(build) {
            build.onResolve({ filter: /^tarnweb-examples$/ }, () => ({ path: 'examples', namespace: 'tarnweb-examples' }));
            build.onLoad({ filter: /.*/, namespace: 'tarnweb-examples' }, () => ({
                contents: `export default ${JSON.stringify(examples)};`,
                loader: 'js',
            }));
        },
    };
}

// The largest exercise file, as the module and the page take it.
const maxExerciseBytes = 4 * 1024 * 1024;

// How an exercise's file may be named: what the page can ask for beside it
// as it is, in an address and in `?esercizio=`.
const exerciseFileName = /^[\p{L}\p{N}][\p{L}\p{N} _.-]*\.toml$/u;

// The exercises' reader of the page itself, the module through the worker's
// protocol, in this process: (text, name) => the reply to "exercise", {
// title, ... } or { ok: false, error } with every fault of the file at its
// place, as tarngrade gives them.
export async function exerciseReader({ glue, wasm }) {
    const pending = new Map();
    let nextId = 1;
    const handle = createProtocol({
        createModule: createRequire(import.meta.url)(glue),
        post: (message) => {
            pending.get(message.id)?.(message);
            pending.delete(message.id);
        },
        schedule: (fn) => setImmediate(fn),
    });
    const request = (op, args) =>
        new Promise((resolve) => {
            const id = nextId++;
            pending.set(id, resolve);
            handle({ id, op, ...args });
        });
    const init = await request('init', { wasm: await readFile(wasm) });
    if (!init.ok) throw new BuildError(`${shown(wasm)}: ${init.error}`);
    return (text, name) => request('exercise', { text, name });
}

// Every exercise of the folder, checked by the page's own reader: the files
// to publish and the list of them, by file name, each with its title. A
// file that is not an exercise fails the build, with its faults.
async function readExercises(folder, readExercise) {
    const files = new Map();
    const list = [];
    const titles = new Map();
    const names = (await readdir(folder)).filter((f) => f.endsWith('.toml')).sort();
    for (const name of names) {
        const path = join(folder, name);
        if (!exerciseFileName.test(name) || name.includes('..')) {
            throw new BuildError(`${shown(path)}: il nome di un esercizio può avere solo lettere, cifre, spazi, '-', '_' e punti, mai due di fila, e comincia con una lettera o una cifra`);
        }
        const about = await stat(path);
        if (!about.isFile()) throw new BuildError(`${shown(path)}: non è un file`);
        if (about.size > maxExerciseBytes) throw new BuildError(`${shown(path)}: un esercizio può avere al massimo ${maxExerciseBytes} byte`);
        const data = await readFile(path);
        let text;
        try {
            text = new TextDecoder('utf-8', { fatal: true }).decode(data);
        } catch {
            throw new BuildError(`${shown(path)}: il file non è testo UTF-8 valido`);
        }
        const reply = await readExercise(text, shown(path));
        if (!reply.ok) throw new BuildError(`l'esercizio ${shown(path)} non si può pubblicare:\n${reply.error}`);
        if (titles.has(reply.title)) {
            throw new BuildError(`${shown(path)}: ha lo stesso titolo di ${titles.get(reply.title)}, «${reply.title}»: nel menu «Esercizi» non si distinguerebbero`);
        }
        titles.set(reply.title, name);
        files.set(`esercizi/${name}`, data);
        list.push({ file: name, title: reply.title });
    }
    files.set('esercizi/indice.json', Buffer.from(`${JSON.stringify(list, null, 2)}\n`, 'utf8'));
    return files;
}

// One file bundled and minified in memory, with esbuild's other options.
async function bundled(entry, options) {
    const result = await esbuild.build({
        entryPoints: [entry],
        write: false,
        outdir: 'out',
        bundle: true,
        minify: true,
        charset: 'utf8',
        logLevel: 'warning',
        ...options,
    });
    return Buffer.from(result.outputFiles[0].contents);
}

async function bundle(entry, { glue, plugins = [], define = {} }) {
    return bundled(entry, {
        format: 'iife',
        target: ['es2020'],
        legalComments: 'none',
        alias: glue ? { 'tarnweb-glue': glue } : {},
        // The emscripten module asks for node's modules only when it runs under node.
        external: ['fs', 'path', 'crypto', 'url', 'module', 'worker_threads'],
        define,
        plugins,
    });
}

// The style with whatever it imports, minified; pictures it names go inline.
async function bundleStyle(entry) {
    return bundled(entry, {
        loader: { '.svg': 'dataurl', '.png': 'dataurl', '.woff2': 'dataurl', '.woff': 'dataurl' },
    });
}

// A page's tags without what its scripts and styles hold.
function markup(html) {
    return html
        .replace(/(<script\b[^>]*>)[\s\S]*?<\/script\s*>/gi, '$1</script>')
        .replace(/(<style\b[^>]*>)[\s\S]*?<\/style\s*>/gi, '$1</style>');
}

// The page may name only files of its own folder: no other origin, no
// protocol-relative address, nothing above the folder.
function checkReferences(html, known) {
    for (const match of markup(html).matchAll(/(?<![\w-])(?:src|href)\s*=\s*(["']?)([^"'\s>]*)\1/gi)) {
        const address = match[2];
        if (address === '' || address.startsWith('#') || address.startsWith('data:')) continue;
        if (/^[a-z][a-z0-9+.-]*:/i.test(address) || address.startsWith('//') || address.startsWith('/') || address.includes('..')) {
            throw new BuildError(`index.html: "${address}" è fuori dalla cartella del sito`);
        }
        const path = address.replace(/[?#].*$/, '');
        if (!known.has(path)) throw new BuildError(`index.html: "${address}" non è un file del sito`);
    }
}

// What an inline <script> may hold: neither "</script" nor "<!--" can end or
// bend it, so both are written with \x3C, which means "<" in every string,
// template and regular expression a minifier leaves.
export function scriptText(code) {
    return code.replace(/<(\/script|!--)/gi, '\\x3C$1');
}

function styleText(css) {
    return css.replace(/<\/style/gi, '<\\/style');
}

// A tag of the page: the whole text of the first one matching, or an error.
function findTag(html, pattern, what) {
    const match = html.match(pattern);
    if (!match) throw new BuildError(`index.html: manca ${what}`);
    return match;
}

// The single file: the page with the style, then an inline script that sets
// TARNWEB_INLINE (the worker's script and the wasm in base64), then the app.
export function singlePage({ html, style, app, worker, wasm, assets }) {
    const link = findTag(html, /<link\b[^>]*\bhref\s*=\s*["']?style\.css["']?[^>]*>/i, '<link href="style.css">');
    let page = html.replace(link[0], () => `<style>${styleText(style.toString('utf8'))}</style>`);
    const script = findTag(page, /<script\b([^>]*)\bsrc\s*=\s*["']?app\.js["']?([^>]*)>\s*<\/script\s*>/i, '<script src="app.js">');
    const inline = JSON.stringify({ worker: worker.toString('utf8'), wasm: wasm.toString('base64') }).replace(/</g, '\\u003c');
    // A deferred or module script runs once the page is parsed; inline, only
    // a module script still does, and the app's bundle is one either way.
    const code = scriptText(app.toString('utf8'));
    for (const text of [inline, code]) {
        if (/<\/script|<!--/i.test(text)) throw new BuildError('tarnsim.html: uno script incorporato contiene "</script" o "<!--"');
    }
    const deferred = /\b(defer|type\s*=\s*["']?module)\b/i.test(script[1] + script[2]);
    page = page.replace(
        script[0],
        () =>
            `<script>globalThis.TARNWEB_INLINE = ${inline};</script>\n` +
            `<script${deferred ? ' type="module"' : ''}>${code}</script>`,
    );
    // Icons become data: addresses; a manifest means nothing without a site.
    page = page.replace(/<link\b[^>]*\brel\s*=\s*["']?manifest["']?[^>]*>\s*/gi, '');
    page = page.replace(/(<link\b[^>]*\bhref\s*=\s*)(["']?)([^"'\s>]+)\2/gi, (whole, start, quote, address) => {
        const asset = assets.get(address);
        if (!asset) return whole;
        return `${start}"data:${asset.type};base64,${asset.data.toString('base64')}"`;
    });
    const left = [...markup(page).matchAll(/<[a-z]+\b[^>]*(?<![\w-])(?:src|href)\s*=\s*(["']?)([^"'\s>]*)\1/gi)]
        .map((m) => m[2])
        .filter((a) => a !== '' && !a.startsWith('#') && !a.startsWith('data:'));
    if (left.length > 0) throw new BuildError(`tarnsim.html: resta un riferimento a file esterni: ${left.join(', ')}`);
    return Buffer.from(page, 'utf8');
}

// The name of the build: a hash of every file the service worker keeps.
export function siteHash(files) {
    const hash = createHash('sha256');
    for (const [path, data] of [...files].sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0))) {
        hash.update(`${path}\0${data.length}\0`);
        hash.update(data);
    }
    return hash.digest('hex').slice(0, 16);
}

// A path as the user would type it: relative below the current folder.
function shown(path) {
    const near = relative(process.cwd(), path);
    return near && !near.startsWith('..') ? near : path;
}

function sizeTable(files) {
    const rows = [...files].map(([path, data]) => [path, data.length, gzipSync(data, { level: 9 }).length]);
    rows.sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0));
    const total = rows.reduce((sum, [, raw, gz]) => [sum[0] + raw, sum[1] + gz], [0, 0]);
    const width = Math.max(6, ...rows.map(([p]) => p.length));
    const line = (name, raw, gz) => `  ${name.padEnd(width)}  ${String(raw).padStart(9)}  ${String(gz).padStart(9)}`;
    const text = [line('file', 'byte', 'gzip -9'), ...rows.map((r) => line(...r)), line('totale', ...total)];
    return { text: text.join('\n'), raw: total[0], gzip: total[1] };
}

// readExercise: how the exercises are read, by default with the module.
export async function build({
    glue,
    wasm,
    out,
    sources = here,
    examplesFolder = join(root, 'examples'),
    exercisesFolder = join(examplesFolder, 'esercizi'),
    readExercise,
    log = console.log,
}) {
    const site = join(out, 'site');
    const app = join(sources, 'app');
    const files = new Map();

    const examples = await readExamples(examplesFolder);
    files.set('app.js', await bundle(join(app, 'main.js'), { glue, plugins: [examplesPlugin(examples)] }));
    files.set('worker.js', await bundle(join(sources, 'worker/worker.js'), { glue }));
    files.set('tarnweb.wasm', await readFile(wasm));
    files.set('style.css', await bundleStyle(join(app, 'style.css')));
    const assets = new Map();
    for (const name of (await readdir(app)).sort()) {
        const type = assetTypes[extname(name).toLowerCase()];
        if (!type) continue;
        const data = await readFile(join(app, name));
        files.set(name, data);
        assets.set(name, { type, data });
    }
    const exercises = await readExercises(exercisesFolder, readExercise ?? (await exerciseReader({ glue, wasm })));
    for (const [path, data] of exercises) files.set(path, data);
    const html = await readFile(join(app, 'index.html'), 'utf8');
    checkReferences(html, new Set([...files.keys(), 'index.html']));
    files.set('index.html', Buffer.from(html, 'utf8'));

    // The service worker keeps every file under the build's hash: a new
    // build is a new sw.js, which the browser installs in place of the old.
    const version = siteHash(files);
    const cached = ['./', ...[...files.keys()].sort()];
    files.set(
        'sw.js',
        await bundle(join(sources, 'sw.js'), {
            define: { TARNWEB_VERSION: JSON.stringify(version), TARNWEB_FILES: JSON.stringify(cached) },
        }),
    );

    await rm(site, { recursive: true, force: true });
    for (const [path, data] of files) {
        const target = join(site, ...path.split('/'));
        if (!target.startsWith(site + sep)) throw new BuildError(`${path}: fuori dal sito`);
        await mkdir(dirname(target), { recursive: true });
        await writeFile(target, data);
    }
    const single = singlePage({
        html,
        style: files.get('style.css'),
        app: files.get('app.js'),
        worker: files.get('worker.js'),
        wasm: files.get('tarnweb.wasm'),
        assets,
    });
    await writeFile(join(out, 'tarnsim.html'), single);

    const sizes = sizeTable(files);
    log(`build.mjs: edizione per il browser in ${shown(site)} (versione ${version})`);
    log(sizes.text);
    const singleGzip = gzipSync(single, { level: 9 }).length;
    log(`build.mjs: file unico ${shown(join(out, 'tarnsim.html'))}: ${single.length} byte, gzip -9 ${singleGzip}`);
    if (sizes.gzip > firstLoadLimit) {
        log(`build.mjs: attenzione: il primo caricamento (${sizes.gzip} byte compressi) supera ${firstLoadLimit}`);
    }
    return { version, files: cached, sizes, single: { raw: single.length, gzip: singleGzip } };
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
    let values;
    try {
        ({ values } = parseArgs({
            options: {
                glue: { type: 'string' },
                wasm: { type: 'string' },
                out: { type: 'string' },
                sources: { type: 'string' },
                esercizi: { type: 'string' },
            },
        }));
    } catch (error) {
        console.error(`build.mjs: ${error.message}`);
        console.error('uso: node build.mjs --glue tarnweb.js --wasm tarnweb.wasm --out CARTELLA [--esercizi CARTELLA]');
        process.exit(2);
    }
    for (const name of ['glue', 'wasm', 'out']) {
        if (!values[name]) {
            console.error(`build.mjs: manca --${name}`);
            console.error('uso: node build.mjs --glue tarnweb.js --wasm tarnweb.wasm --out CARTELLA [--esercizi CARTELLA]');
            process.exit(2);
        }
    }
    try {
        await build({
            glue: resolve(values.glue),
            wasm: resolve(values.wasm),
            out: resolve(values.out),
            sources: values.sources ? resolve(values.sources) : here,
            ...(values.esercizi ? { exercisesFolder: resolve(values.esercizi) } : {}),
        });
    } catch (error) {
        if (error instanceof BuildError) {
            console.error(`build.mjs: ${error.message}`);
            process.exit(1);
        }
        if (error.code === 'ENOENT') {
            console.error(`build.mjs: ${error.path}: file non trovato`);
            process.exit(2);
        }
        // esbuild has already printed its own messages.
        if (error.errors) process.exit(1);
        throw error;
    }
}
