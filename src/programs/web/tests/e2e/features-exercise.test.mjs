// Exercises on the page: opened from a file, the menu of those published or
// named in the address, their statement and visible cases shown, checked with the verdicts tarngrade gives the same solution,
// hidden ones only counted; addresses that lead elsewhere are refused.
import assert from 'node:assert/strict';
import { readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { deflateRawSync } from 'node:zlib';
import { examplesDir, runNative, siteDir, tempFolder } from '../harness.mjs';
import { button, lines, openHolding, openPage, region, setSource, skipNative, skipPage, sourceText, text, verify, waitText } from './features-page.mjs';

const exercisesDir = join(examplesDir, 'esercizi');
const exercises = readdirSync(exercisesDir)
    .filter((f) => f.endsWith('.toml'))
    .map((f) => f.slice(0, -'.toml'.length))
    .sort();

// tarngrade's verdicts for one solution: the visible cases, in order, with
// their points; the number of hidden ones.
function nativeVerdicts(t, exercise, solution) {
    const folder = tempFolder({ t }).path;
    const report = join(folder, 'rapporto.json');
    const graded = runNative('tarngrade', [join(exercisesDir, `${exercise}.toml`), join(exercisesDir, `${solution}.asm`), '--json', report]);
    assert.ok(graded.status === 0 || graded.status === 1, graded.stderr);
    const cases = JSON.parse(readFileSync(report, 'utf8')).consegne[0].casi;
    return {
        visible: cases.filter((c) => !c.nascosto).map((c) => ({ name: c.nome, passed: c.superato, points: c.punti, max: c.punti_massimi })),
        hidden: cases.filter((c) => c.nascosto).length,
    };
}

async function openExercise(page, exercise) {
    const chooser = page.waitForEvent('filechooser');
    await button(page, 'Apri esercizio').click();
    await (await chooser).setFiles(join(exercisesDir, `${exercise}.toml`));
    await waitText(page, 'messages', /^Esercizio «.*» aperto/);
}

test('each exercise\'s right and wrong solutions get tarngrade\'s verdicts', { skip: skipNative }, async (t) => {
    assert.ok(exercises.length >= 3, exercises.join());
    const { page } = await openPage(t);
    for (const exercise of exercises) {
        await openExercise(page, exercise);
        const toml = readFileSync(join(exercisesDir, `${exercise}.toml`), 'utf8');
        const title = /^titolo\s*=\s*"(.*)"/m.exec(toml)[1];
        assert.equal(await page.locator('.exercise-title').textContent(), title);
        for (const solution of [`${exercise}-giusta`, `${exercise}-sbagliata`]) {
            const expected = nativeVerdicts(t, exercise, solution);
            await setSource(page, readFileSync(join(exercisesDir, `${solution}.asm`), 'utf8'));
            await verify(page);
            assert.match(await text(page, 'results-summary'), /^Punti: /, solution);
            const verdicts = await lines(page, 'results');
            assert.deepEqual(
                verdicts,
                expected.visible.map((c) => `${c.passed ? 'superato' : 'non superato'} ${c.name}`),
                solution,
            );
            // Every failing case shows its reasons, as tarngrade words them.
            const details = await page.locator('#results li.failed pre').allTextContents();
            assert.equal(details.length, expected.visible.filter((c) => !c.passed).length, solution);
            for (const detail of details) assert.ok(detail.trim() !== '', solution);
            const points = expected.visible.reduce((sum, c) => sum + c.points, 0);
            const summary = await text(page, 'results-summary');
            assert.match(summary, new RegExp(`^Punti: ${points} su \\d+\\.`), solution);
            if (expected.hidden > 0) assert.match(summary, new RegExp(`\\b${expected.hidden} cas[oi] nascost[oi] non `), solution);
            else assert.doesNotMatch(summary, /nascost/);
            // Nothing of a hidden case reaches the page but its count.
            const shown = await page.locator('#results').textContent();
            const hiddenNames = [...toml.matchAll(/\[\[caso\]\][^[]*?nome\s*=\s*"([^"]*)"[^[]*?nascosto\s*=\s*true/g)].map((m) => m[1]);
            for (const name of hiddenNames) assert.ok(!shown.includes(name), `${solution}: ${name}`);
        }
    }
});

test('somma-sbagliata: the failing case says why, with the input and the difference', { skip: skipNative }, async (t) => {
    const { page } = await openPage(t);
    await openExercise(page, 'somma');
    const cases = await page.locator('#exercise-info .cases .case-name').allTextContents();
    assert.deepEqual(cases, ['tre più quattro (2 punti)', 'zero più zero (1 punto)', 'cinque più cinque (2 punti)']);
    assert.match(await text(page, 'exercise-info'), /Più 3 casi nascosti, che prova l'insegnante\./);
    await setSource(page, readFileSync(join(exercisesDir, 'somma-sbagliata.asm'), 'utf8'));
    await verify(page);
    assert.match(await text(page, 'results-summary'), /^Punti: /);
    const failing = page.locator('#results li.failed');
    assert.equal(await failing.locator('span').textContent(), 'non superato cinque più cinque');
    const detail = await failing.locator('pre').textContent();
    assert.match(detail, /uscita diversa da quella attesa/);
    assert.match(detail, /"5 5\\n"/);
    assert.match(detail, /- 10/);
});

test('?esercizio= opens a file of the site; anything else is refused with a reason', { skip: skipPage }, async (t) => {
    const routes = { '/grande.toml': { body: '#'.repeat(4 * 1024 * 1024 + 1) } };
    const { page, server } = await openPage(t, { path: 'index.html?esercizio=esercizi/somma.toml', routes });
    await waitText(page, 'messages', /^Esercizio «Somma di due cifre» aperto/);
    assert.equal(await button(page, 'Verifica').isDisabled(), false);

    for (const [name, reason] of [
        ['../index.html', /stessa cartella/],
        ['https://esempio.invalid/x.toml', /stessa cartella/],
        ['//esempio.invalid/x.toml', /stessa cartella/],
        ['esercizi%5Csomma.toml', /non ammessi|stessa cartella/],
        ['esercizi/%2e%2e/index.html', /stessa cartella/],
        ['esercizi/nessuno.toml', /il file non esiste/],
        ['grande.toml', /è più grande di 4 MiB/],
    ]) {
        const before = server.requests.length;
        await page.goto(server.url(`index.html?esercizio=${name}`));
        await page.waitForSelector('body[data-ready="true"]', { state: 'attached' });
        await waitText(page, 'messages', /^Impossibile aprire l'esercizio /);
        assert.match(await text(page, 'messages'), reason, name);
        assert.equal(await button(page, 'Verifica').isDisabled(), true, name);
        const asked = server.requests.slice(before).map((r) => r.path);
        if (!/nessuno|grande/.test(name)) assert.deepEqual(asked.filter((p) => /\.toml$|esempio/.test(p)), [], name);
    }
});

test('an exercise file that is not valid is one message from the grader', { skip: skipPage }, async (t) => {
    const folder = tempFolder({ t }).path;
    const broken = join(folder, 'rotto.toml');
    writeFileSync(broken, 'titolo = "Rotto"\n[[caso]]\nnome = \n');
    const { page } = await openPage(t);
    const chooser = page.waitForEvent('filechooser');
    await button(page, 'Apri esercizio').click();
    await (await chooser).setFiles(broken);
    await waitText(page, 'messages', /^rotto\.toml:3:\d+: errore: /);
    assert.equal(await button(page, 'Verifica').isDisabled(), true);
    assert.equal(await region(page, 'Esiti').locator('li').count(), 0);
});

test('Ferma gives up a verification that would run for hours; the exercise stays open for the next one', { skip: skipPage }, async (t) => {
    const folder = tempFolder({ t }).path;
    const endless = join(folder, 'senza-fine.toml');
    writeFileSync(endless, 'titolo = "Senza fine"\nlimite_istruzioni = 1000000000000\n[[caso]]\nnome = "giro"\nuscita = "x"\npunti = 1\n');
    const { page, errors } = await openPage(t);
    const chooser = page.waitForEvent('filechooser');
    await button(page, 'Apri esercizio').click();
    await (await chooser).setFiles(endless);
    await waitText(page, 'messages', /^Esercizio «Senza fine» aperto/);
    await setSource(page, 'ciclo: JMP ciclo\n');

    await button(page, 'Verifica').click();
    await waitText(page, 'messages', /^Verifico il programma/);
    assert.equal(await button(page, 'Verifica').isDisabled(), true);
    await button(page, 'Ferma').click();
    await waitText(page, 'messages', /^Verifica fermata: nessun esito\./);
    assert.equal(await button(page, 'Ferma').isDisabled(), true);
    assert.equal(await region(page, 'Esiti').locator('li').count(), 0);

    // The fresh worker has the exercise: a program that ends is graded.
    await setSource(page, 'WRT x\nRST\nx: DB "x", 0\n');
    await verify(page);
    assert.match(await text(page, 'results-summary'), /^Punti: 1 su 1\. Casi superati: 1 su 1\./);
    assert.deepEqual(await lines(page, 'results'), ['superato giro']);
    assert.deepEqual(errors, []);
});

test('Verifica stops a running program first, and nothing else starts until it is over', { skip: skipPage }, async (t) => {
    const { page } = await openHolding(t, { path: 'index.html?esercizio=esercizi/somma.toml' });
    await setSource(page, 'giro:   JMP giro\n');
    await button(page, 'Esegui').click();
    await waitText(page, 'messages', /istruzioni eseguite: [1-9]/);
    const disabled = () => page.evaluate(() => ['run', 'stop', 'step', 'continue', 'verify'].map((id) => document.getElementById(id).disabled));
    // Its reply held: the page is in the middle of the verification.
    await page.evaluate(() => globalThis.heldOps.add('verify'));
    await button(page, 'Verifica').click();
    await page.waitForFunction(() => globalThis.heldCount() === 1);
    assert.match(await text(page, 'messages'), /^Verifico il programma con i casi dell'esercizio…$/);
    // Only Ferma, which gives the verification up.
    assert.deepEqual(await disabled(), [true, false, true, true, true]);
    await page.evaluate(() => globalThis.releaseReplies());
    await page.waitForFunction(() => !document.getElementById('verify').disabled);
    assert.match(await text(page, 'messages'), /^Punti: 0 su 5\. Casi superati: 0 su 3\./);
    assert.deepEqual(await disabled(), [false, true, false, false, false]);
});

test('an exercise in the address adds its message to the one of the link the page opened', { skip: skipPage }, async (t) => {
    const work = { source: '; dal link\n        RST\n', name: 'condiviso' };
    const fragment = deflateRawSync(Buffer.from(JSON.stringify(work))).toString('base64url');
    const { page } = await openPage(t, { path: `index.html?esercizio=esercizi/somma.toml#c=${fragment}` });
    await waitText(page, 'messages', /Esercizio «Somma di due cifre» aperto/);
    assert.equal(await sourceText(page), work.source);
    assert.match(await text(page, 'messages'), /^Aperto il programma «condiviso\.asm» dal link condiviso\.Esercizio «Somma di due cifre» aperto: /);
});

// What the page shows of each visible case before anything runs: the case's
// name, then its terms and values.
async function shownCases(page) {
    return page.locator('#exercise-info .cases li').evaluateAll((items) =>
        items.map((li) => [li.querySelector('.case-name').textContent, ...[...li.querySelectorAll('dt, dd')].map((e) => e.innerText)]),
    );
}

test('the menu «Esercizi» lists the published exercises; one opens with its statement and visible cases', { skip: skipPage }, async (t) => {
    const { page, server } = await openPage(t);
    const published = JSON.parse(readFileSync(join(siteDir, 'esercizi', 'indice.json'), 'utf8'));
    const menu = page.getByRole('combobox', { name: 'Esercizi', exact: true });
    await menu.waitFor();
    const options = await menu.locator('option').evaluateAll((all) => all.map((o) => [o.value, o.textContent]));
    assert.deepEqual(options.slice(1), published.map((e) => [e.file, e.title]));

    const before = server.requests.length;
    await menu.selectOption({ label: 'Somma di una tabella' });
    await waitText(page, 'messages', /^Esercizio «Somma di una tabella» aperto/);
    assert.deepEqual(server.requests.slice(before).map((r) => r.path), ['/esercizi/tabella.toml']);
    assert.equal(await menu.inputValue(), '');
    // The statement as the file writes it, line by line.
    const toml = readFileSync(join(exercisesDir, 'tabella.toml'), 'utf8');
    const statement = /^testo = """\n([\s\S]*?)\n"""/m.exec(toml)[1];
    assert.equal(await region(page, "Testo dell'esercizio").innerText(), statement);
    assert.deepEqual((await shownCases(page))[0], [
        'somma della tabella (2 punti)',
        'Ingresso', 'nessuno',
        'In memoria prima di partire', '0xC8 (200): 5, 7, 9, 0',
        'Memoria attesa alla fine', '0xF0 (240): 21',
    ]);

    await menu.selectOption({ label: 'Il doppio di una cifra, stampato e in memoria' });
    await waitText(page, 'messages', /^Esercizio «Il doppio di una cifra/);
    assert.deepEqual((await shownCases(page))[1], [
        'il doppio di sette (2 punti)',
        'Ingresso', '7↵',
        'Uscita attesa', '14↵\n(confrontata identica byte per byte)',
        'Memoria attesa alla fine', '0xF0 (240): 14',
    ]);
});

test("an exercise's statement is plain text, and a case's registers and flags are shown", { skip: skipPage }, async (t) => {
    const folder = tempFolder({ t }).path;
    const file = join(folder, 'prova.toml');
    writeFileSync(file, [
        'titolo = "Prova"',
        'testo = "Prima riga\\n  <b>seconda</b> <img src=x onerror=\\"document.title=1\\">"',
        '[[caso]]',
        'nome = "registri"',
        'ingresso = "a b\\nc"',
        'uscita = "x"',
        'confronto = "spazi"',
        'atteso.registri = { A = 5, x = 255 }',
        'atteso.flag = ["Z", "p"]',
        '',
    ].join('\n'));
    const { page } = await openPage(t);
    const chooser = page.waitForEvent('filechooser');
    await button(page, 'Apri esercizio').click();
    await (await chooser).setFiles(file);
    await waitText(page, 'messages', /^Esercizio «Prova» aperto/);
    const statement = region(page, "Testo dell'esercizio");
    assert.equal(await statement.innerText(), 'Prima riga\n  <b>seconda</b> <img src=x onerror="document.title=1">');
    assert.equal(await statement.locator('b, img').count(), 0);
    assert.deepEqual(await shownCases(page), [[
        'registri (1 punto)',
        'Ingresso', 'a b↵\nc',
        'Uscita attesa', 'x\n(confrontata senza contare gli spazi in fondo alle righe, le righe vuote e gli a capo alla fine)',
        'Registri attesi alla fine', 'A = 0x05 (5), X = 0xFF (255)',
        'Flag accesi alla fine', 'Z, P',
    ]]);
});
