// Builds the browser edition from the app's sources, the worker and the
// emscripten module:
//
//     node build.mjs --glue DIR/tarnweb.js --wasm DIR/tarnweb.wasm --out DIR
//
// writes OUT/site/ (the folder edition) and OUT/tarnsim.html (the single
// file with everything inlined).
import * as esbuild from 'esbuild';
import { copyFile, mkdir, readFile, readdir, rm, writeFile } from 'node:fs/promises';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '../../..');

const { values } = parseArgs({
    options: {
        glue: { type: 'string' },
        wasm: { type: 'string' },
        out: { type: 'string' },
    },
});
for (const name of ['glue', 'wasm', 'out']) {
    if (!values[name]) {
        console.error(`build.mjs: manca --${name}`);
        process.exit(2);
    }
}
const out = resolve(values.out);
const site = join(out, 'site');

// Every example of examples/: its source and, when it has one, its input.
async function readExamples() {
    const folder = join(root, 'examples');
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

async function bundle(entry, outfile, plugins) {
    await esbuild.build({
        entryPoints: [entry],
        outfile,
        bundle: true,
        minify: true,
        format: 'iife',
        target: ['es2020'],
        legalComments: 'none',
        alias: { 'tarnweb-glue': resolve(values.glue) },
        // The emscripten module asks for node's modules only when it runs under node.
        external: ['fs', 'path', 'crypto', 'url', 'module', 'worker_threads'],
        plugins,
        logLevel: 'warning',
    });
}

await rm(site, { recursive: true, force: true });
await mkdir(site, { recursive: true });
const examples = await readExamples();
await bundle(join(here, 'app/main.js'), join(site, 'app.js'), [examplesPlugin(examples)]);
await bundle(join(here, 'worker/worker.js'), join(site, 'worker.js'), []);
await copyFile(resolve(values.wasm), join(site, 'tarnweb.wasm'));
await copyFile(join(here, 'app/index.html'), join(site, 'index.html'));
await copyFile(join(here, 'app/style.css'), join(site, 'style.css'));
console.log(`build.mjs: edizione per il browser in ${site}`);
