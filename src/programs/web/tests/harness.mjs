// What the browser edition's tests share: where the builds are, a static
// HTTP server over the site, Debian's Chromium through playwright-core, the
// native programs run with a given input, and temporary folders that go away.
//
//     import { startServer, openBrowser, chromiumMissing, siteMissing } from '../harness.mjs';
//     test('...', { skip: chromiumMissing || siteMissing }, async (t) => {
//         const server = await startServer({ t });
//         const { page } = await openBrowser({ t });
//         await page.goto(server.url('index.html'));
//     });
//
// Environment: TARNWEB_SITE is the browser edition's build folder (site/,
// tarnsim.html, tarnweb.js, tarnweb.wasm; default <repo>/build-web),
// TARNSIM_NATIVE_BUILD the native one (tarnasm, tarnsim, tarngrade; default
// <repo>/build), TARNSIM_CHROMIUM the browser (default /usr/bin/chromium),
// TARNWEB_CPU_SLOWDOWN a factor by which every page's CPU is slowed down (to
// check that the tests wait for their own results, as on a busy machine).
// Tests skip, saying why, where one of them is missing, except under CI.
import { spawnSync } from 'node:child_process';
import { createReadStream, existsSync, mkdtempSync, readFileSync, realpathSync, rmSync, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, extname, join, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));

// ---------------------------------------------------------------- folders

export const webSource = resolve(here, '..');
export const repoRoot = resolve(here, '../../../..');
export const examplesDir = join(repoRoot, 'examples');

function webBuildFolder() {
    const given = process.env.TARNWEB_SITE;
    if (!given) return join(repoRoot, 'build-web');
    const folder = resolve(given);
    // The site folder itself given instead of the build folder holding it.
    if (!existsSync(join(folder, 'site')) && existsSync(join(folder, 'index.html'))) return dirname(folder);
    return folder;
}

export const webBuild = webBuildFolder();
export const siteDir = join(webBuild, 'site');
export const singleFile = join(webBuild, 'tarnsim.html');
export const gluePath = join(webBuild, 'tarnweb.js');
export const wasmPath = join(webBuild, 'tarnweb.wasm');
export const nativeBuild = resolve(process.env.TARNSIM_NATIVE_BUILD || join(repoRoot, 'build'));
export const chromiumPath = process.env.TARNSIM_CHROMIUM || '/usr/bin/chromium';

// Reasons to skip, for `test(name, { skip: ... })`: false when all is there.
// Under CI nothing is skipped (what is missing fails there), nor is the site
// or the native build when their folder was named explicitly.
const strict = Boolean(process.env.CI);
function missing(present, reason, named = false) {
    return present || strict || named ? false : reason;
}
export const chromiumMissing = missing(
    existsSync(chromiumPath),
    `Chromium non trovato in ${chromiumPath} (pacchetto chromium; scripts/setup --ci lo installa)`,
);
export const siteMissing = missing(
    existsSync(join(siteDir, 'index.html')),
    `il sito non è stato costruito: manca ${join(siteDir, 'index.html')} (cmake --workflow --preset web)`,
    Boolean(process.env.TARNWEB_SITE),
);
export const singleFileMissing = missing(
    existsSync(singleFile),
    `manca ${singleFile} (cmake --workflow --preset web)`,
    Boolean(process.env.TARNWEB_SITE),
);
export const moduleMissing = missing(
    existsSync(gluePath) && existsSync(wasmPath),
    `manca il modulo WebAssembly ${gluePath} (cmake --workflow --preset web)`,
    Boolean(process.env.TARNWEB_SITE),
);
export const nativeMissing = missing(
    ['tarnasm', 'tarnsim', 'tarngrade'].every((p) => existsSync(join(nativeBuild, p))),
    `mancano i programmi nativi in ${nativeBuild} (cmake --preset default && cmake --build --preset default)`,
    Boolean(process.env.TARNSIM_NATIVE_BUILD),
);

// The emscripten module under node, with its wasm handed over as the page does.
export async function loadModule() {
    const createTarnweb = createRequire(import.meta.url)(gluePath);
    return createTarnweb({ wasmBinary: readFileSync(wasmPath) });
}

// ------------------------------------------------------- temporary folders

// A fresh folder under the system's temporary one. With a test context (or
// anything with an after() hook) it is removed when that test ends;
// otherwise call remove().
export function tempFolder({ t, prefix = 'tarnweb-' } = {}) {
    const path = mkdtempSync(join(tmpdir(), prefix));
    const remove = () => rmSync(path, { recursive: true, force: true });
    if (t) t.after(remove);
    return { path, remove };
}

// ------------------------------------------------------------ HTTP server

export const mimeTypes = {
    '.html': 'text/html; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.wasm': 'application/wasm',
    '.json': 'application/json; charset=utf-8',
    '.webmanifest': 'application/manifest+json; charset=utf-8',
    '.toml': 'text/plain; charset=utf-8',
    '.asm': 'text/plain; charset=utf-8',
    '.in': 'text/plain; charset=utf-8',
    '.txt': 'text/plain; charset=utf-8',
    '.md': 'text/plain; charset=utf-8',
    '.svg': 'image/svg+xml',
    '.png': 'image/png',
    '.ico': 'image/x-icon',
    '.bin': 'application/octet-stream',
};

// The file of `folder` a request path names, or null when it names nothing
// there (outside the folder included, through '..', encoded slashes or links).
export function resolveRequestPath(folder, requestPath) {
    let decoded;
    try {
        decoded = decodeURIComponent(requestPath);
    } catch {
        return null;
    }
    if (decoded.includes('\0') || decoded.includes('\\')) return null;
    const root = realpathSync(folder);
    let file = resolve(root, '.' + (decoded.startsWith('/') ? decoded : '/' + decoded));
    if (file !== root && !file.startsWith(root + sep)) return null;
    try {
        if (statSync(file).isDirectory()) file = join(file, 'index.html');
        const real = realpathSync(file);
        if (real !== root && !real.startsWith(root + sep)) return null;
        return statSync(real).isFile() ? real : null;
    } catch {
        return null;
    }
}

// A static server over `folder` on 127.0.0.1. Every request is recorded in
// `requests` ({ method, path }). stop() closes it and its open connections;
// start() opens it again on the same port, so the origin stays the same (a
// service worker registered before is still the page's). `routes` answers
// some paths itself: { '/path': { status, type, body } } or a function
// (request, response) => void; a route set to null answers 404.
export async function startServer({ folder = siteDir, t, routes = {} } = {}) {
    const requests = [];
    let port = 0;
    let server = null;

    function handle(request, response) {
        const url = new URL(request.url, 'http://127.0.0.1');
        requests.push({ method: request.method, path: url.pathname, search: url.search });
        response.setHeader('Cache-Control', 'no-cache');
        if (Object.hasOwn(routes, url.pathname)) {
            const route = routes[url.pathname];
            if (typeof route === 'function') return route(request, response);
            if (route === null) {
                response.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' });
                return response.end('non trovato\n');
            }
            response.writeHead(route.status ?? 200, { 'Content-Type': route.type ?? 'text/plain; charset=utf-8' });
            return response.end(request.method === 'HEAD' ? undefined : route.body ?? '');
        }
        if (request.method !== 'GET' && request.method !== 'HEAD') {
            response.writeHead(405, { Allow: 'GET, HEAD', 'Content-Type': 'text/plain; charset=utf-8' });
            return response.end('metodo non ammesso\n');
        }
        const file = resolveRequestPath(folder, url.pathname);
        if (!file) {
            response.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' });
            return response.end('non trovato\n');
        }
        response.writeHead(200, {
            'Content-Type': mimeTypes[extname(file).toLowerCase()] ?? 'application/octet-stream',
            'Content-Length': statSync(file).size,
        });
        if (request.method === 'HEAD') return response.end();
        createReadStream(file).pipe(response);
    }

    const self = {
        requests,
        get port() {
            return port;
        },
        get origin() {
            return `http://127.0.0.1:${port}`;
        },
        // The address of a path of the site ('' or 'index.html?x=1', ...).
        url(path = '') {
            return `http://127.0.0.1:${port}/${path.replace(/^\//, '')}`;
        },
        get running() {
            return server !== null;
        },
        async start() {
            if (server) return self;
            const next = createServer(handle);
            await new Promise((done, fail) => {
                next.once('error', fail);
                next.listen(port, '127.0.0.1', () => {
                    next.off('error', fail);
                    done();
                });
            });
            server = next;
            port = server.address().port;
            return self;
        },
        async stop() {
            if (!server) return;
            const closing = server;
            server = null;
            await new Promise((done) => {
                closing.close(() => done());
                closing.closeAllConnections();
            });
        },
    };
    await self.start();
    if (t) t.after(() => self.stop());
    return self;
}

// ----------------------------------------------------------------- Chromium

export const chromiumArgs = [
    '--no-sandbox',
    '--disable-gpu',
    '--disable-quic',
    '--no-first-run',
    '--disable-background-networking',
    '--disable-component-update',
    '--disable-sync',
];

// Debian's Chromium, headless. Returns { context, page, errors, close }, with
// one page already open. By default a browser with a new context (playwright
// gives it a fresh profile folder of its own and removes it on close);
// `persistent: true` runs it on a fresh --user-data-dir of ours instead
// (launchPersistentContext), which survives the page's server going away and
// coming back. close() removes every folder the browser was given. `serviceWorkers: 'block'`
// keeps the site's service worker out. With `t`, close() runs when the test
// ends. `errors` collects the page's uncaught exceptions and console errors,
// each with the address it is about when there is one.
export async function openBrowser({ t, persistent = false, serviceWorkers = 'allow', viewport, contextOptions = {} } = {}) {
    const { chromium } = await import('playwright-core');
    // Whatever the browser writes beside its profile (crash reports, its
    // temporary files) goes into a folder of ours too.
    const own = tempFolder({ prefix: 'tarnweb-chromium-' });
    const env = { ...process.env, HOME: own.path, TMPDIR: own.path, XDG_CONFIG_HOME: join(own.path, 'config'), XDG_CACHE_HOME: join(own.path, 'cache') };
    const launchOptions = { executablePath: chromiumPath, args: chromiumArgs, headless: true, env };
    const options = { serviceWorkers, ...(viewport ? { viewport } : {}), ...contextOptions };
    let context;
    let browser = null;
    try {
        if (persistent) {
            context = await chromium.launchPersistentContext(join(own.path, 'profile'), { ...launchOptions, ...options });
        } else {
            browser = await chromium.launch(launchOptions);
            context = await browser.newContext(options);
        }
    } catch (error) {
        await browser?.close();
        own.remove();
        throw error;
    }
    const page = context.pages()[0] ?? (await context.newPage());
    const errors = [];
    watchErrors(page, errors);
    context.on('page', (other) => watchErrors(other, errors));
    const slowdown = Number(process.env.TARNWEB_CPU_SLOWDOWN);
    if (slowdown > 1) {
        const slow = (target) => context.newCDPSession(target).then((cdp) => cdp.send('Emulation.setCPUThrottlingRate', { rate: slowdown })).catch(() => {});
        await slow(page);
        context.on('page', slow);
    }
    let closed = false;
    async function close() {
        if (closed) return;
        closed = true;
        try {
            await context.close();
            if (browser) await browser.close();
        } finally {
            own.remove();
        }
    }
    if (t) t.after(close);
    return { browser, context, page, errors, profile: persistent ? join(own.path, 'profile') : null, close };
}

function watchErrors(page, errors) {
    page.on('pageerror', (error) => errors.push(`pageerror: ${error.message}`));
    page.on('console', (message) => {
        if (message.type() !== 'error') return;
        const where = message.location()?.url;
        errors.push(`console: ${message.text()}${where ? ` (${where})` : ''}`);
    });
}

// ----------------------------------------------------------- native programs

export function nativeProgram(name) {
    return join(nativeBuild, name);
}

// Runs build/NAME with the given arguments and standard input (string or
// bytes); returns { status, stdout: Buffer, stderr: string }.
export function runNative(name, args = [], { input = '', cwd, env } = {}) {
    const result = spawnSync(nativeProgram(name), args, {
        input,
        cwd,
        env: env ?? { ...process.env, LANG: 'C.UTF-8' },
        maxBuffer: 64 * 1024 * 1024,
    });
    if (result.error) throw result.error;
    return { status: result.status, signal: result.signal, stdout: result.stdout, stderr: result.stderr.toString('utf8') };
}
