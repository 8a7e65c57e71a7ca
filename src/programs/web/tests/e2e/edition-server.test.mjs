// The tests' static server: the right types, nothing outside its folder, and
// the same origin after a restart (what the offline tests rely on).
import assert from 'node:assert/strict';
import { mkdirSync, symlinkSync, writeFileSync } from 'node:fs';
import { request } from 'node:http';
import { join } from 'node:path';
import { test } from 'node:test';
import { startServer, tempFolder } from '../harness.mjs';

function get(server, path, method = 'GET') {
    return new Promise((done, fail) => {
        const req = request({ host: '127.0.0.1', port: server.port, path, method }, (response) => {
            const chunks = [];
            response.on('data', (chunk) => chunks.push(chunk));
            response.on('end', () =>
                done({ status: response.statusCode, type: response.headers['content-type'], body: Buffer.concat(chunks).toString() }),
            );
        });
        req.on('error', fail);
        req.end();
    });
}

function site(t) {
    const outside = tempFolder({ t });
    writeFileSync(join(outside.path, 'segreto.txt'), 'segreto');
    const root = join(outside.path, 'site');
    mkdirSync(join(root, 'esercizi'), { recursive: true });
    writeFileSync(join(root, 'index.html'), '<p>pagina</p>');
    writeFileSync(join(root, 'app.js'), 'app');
    writeFileSync(join(root, 'tarnweb.wasm'), '\0asm');
    writeFileSync(join(root, 'style.css'), 'p{}');
    writeFileSync(join(root, 'esercizi', 'somma.toml'), 'titolo = "somma"');
    writeFileSync(join(root, 'esercizi', 'index.html'), 'esercizi');
    symlinkSync(join(outside.path, 'segreto.txt'), join(root, 'collegamento.txt'));
    return root;
}

test('serves every file of the folder with its type', async (t) => {
    const server = await startServer({ folder: site(t), t });
    const cases = [
        ['/', 200, 'text/html; charset=utf-8', '<p>pagina</p>'],
        ['/index.html', 200, 'text/html; charset=utf-8', '<p>pagina</p>'],
        ['/app.js?v=1', 200, 'text/javascript; charset=utf-8', 'app'],
        ['/tarnweb.wasm', 200, 'application/wasm', '\0asm'],
        ['/style.css', 200, 'text/css; charset=utf-8', 'p{}'],
        ['/esercizi/somma.toml', 200, 'text/plain; charset=utf-8', 'titolo = "somma"'],
        ['/esercizi/', 200, 'text/html; charset=utf-8', 'esercizi'],
        ['/manca.js', 404],
    ];
    for (const [path, status, type, body] of cases) {
        const answer = await get(server, path);
        assert.equal(answer.status, status, path);
        if (type) assert.equal(answer.type, type, path);
        if (body !== undefined) assert.equal(answer.body, body, path);
    }
    assert.equal((await get(server, '/index.html', 'POST')).status, 405);
    assert.deepEqual(server.requests.slice(0, 3).map((r) => r.path), ['/', '/index.html', '/app.js']);
});

test('nothing outside the folder is reachable', async (t) => {
    const server = await startServer({ folder: site(t), t });
    for (const path of ['/../segreto.txt', '/%2e%2e/segreto.txt', '/esercizi/..%2f..%2fsegreto.txt',
        '/..%5csegreto.txt', '/collegamento.txt', '/%00', '/%E0%A4%A']) {
        const answer = await get(server, path);
        assert.equal(answer.status, 404, path);
        assert.doesNotMatch(answer.body, /segreto/, path);
    }
});

test('routes answer in place of the folder', async (t) => {
    const server = await startServer({
        folder: site(t),
        t,
        routes: { '/app.js': { body: 'altro', type: 'text/javascript' }, '/style.css': null },
    });
    assert.equal((await get(server, '/app.js')).body, 'altro');
    assert.equal((await get(server, '/style.css')).status, 404);
});

test('a stopped server refuses connections and restarts on the same port', async (t) => {
    const server = await startServer({ folder: site(t), t });
    const port = server.port;
    await server.stop();
    await assert.rejects(get(server, '/'), { code: 'ECONNREFUSED' });
    await server.start();
    assert.equal(server.port, port);
    assert.equal((await get(server, '/')).status, 200);
});
