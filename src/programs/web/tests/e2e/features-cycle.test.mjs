// The cycle made visible: «Fase» through a whole instruction and back, with
// «Processore», «Spiegazione» and «Registri» following; «Anima» at a slow
// speed, then «Ferma» and «Indietro»; «Cronologia» to step 0, the middle and
// the end, each exactly as «Passo» left it.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { button, openPage, region, registers, setSource, skipPage, waitText } from './features-page.mjs';

// The phase «Processore» highlights ('' for none), once it has drawn it.
const phaseDrawn = (page, phase) => page.waitForFunction((p) => document.querySelector('#processor svg')?.dataset.phase === p, phase);

const headings = (page) => page.evaluate(() => [...document.querySelectorAll('#explanation h4')].map((h) => h.textContent));

// The debugger's answer to a command: the buttons back, `count` instructions executed.
async function at(page, count) {
    await page.waitForFunction(
        (n) => !document.getElementById('step').disabled && new RegExp(`istruzioni eseguite: ${n}\\b`).test(document.getElementById('messages').textContent),
        count,
    );
}

// The machine as Registri and Memoria show it.
const machine = (page) =>
    page.evaluate(() => ({
        registers: [...document.querySelectorAll('#registers > *')].map((e) => e.textContent),
        memory: [...document.querySelectorAll('#memory tbody td')].map((td) => td.textContent),
    }));

test('Fase goes through an instruction phase by phase, makes the step as Passo does, and goes back', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('parole');

    // Prelievo: MUL 0x13, 0x12 at 0 is fetched; the registers show it at once.
    await button(page, 'Fase').click();
    await phaseDrawn(page, 'Prelievo');
    await at(page, 0);
    assert.deepEqual((await registers(page)).slice(0, 4), ['PC 3', 'IR 131', 'A 19', 'B 18']);
    assert.deepEqual(await headings(page), ['Prelievo']);
    // Its text alternative is the phase's explanation.
    assert.equal(await region(page, 'Processore').getByRole('img', { name: /^Prelievo: / }).count(), 1);
    assert.match(await page.locator('#processor [data-path="memory-IR"]').textContent(), /0x83/);

    // f, with the focus out of the editor: Decodifica.
    await page.getByRole('button', { name: 'Anima' }).focus();
    await page.keyboard.press('f');
    await phaseDrawn(page, 'Decodifica');
    assert.deepEqual(await headings(page), ['Prelievo', 'Decodifica']);
    assert.match(await page.locator('#processor [data-part="arithmetic"]').getAttribute('class'), /\blit\b/);

    // Indietro: a phase back, then to the machine before the fetch.
    await button(page, 'Indietro').click();
    await phaseDrawn(page, 'Prelievo');
    await button(page, 'Indietro').click();
    await phaseDrawn(page, '');
    assert.deepEqual((await registers(page)).slice(0, 4), ['PC 0', 'IR 0', 'A 0', 'B 0']);
    await at(page, 0);

    // Through the three phases: the third press makes the step.
    for (const phase of ['Prelievo', 'Decodifica']) {
        await button(page, 'Fase').click();
        await phaseDrawn(page, phase);
    }
    await button(page, 'Fase').click();
    await at(page, 1);
    await phaseDrawn(page, 'Esecuzione');
    await page.waitForFunction(() => document.querySelectorAll('#explanation h4').length === 3);
    assert.deepEqual(await headings(page), ['Prelievo', 'Decodifica', 'Esecuzione']);
    assert.match(await page.locator('#explanation').textContent(), /Il passo 1, appena eseguito: MUL/);
    const byPhase = await machine(page);

    // The same step made by Passo leaves the same machine.
    await button(page, 'Indietro').click();
    await at(page, 0);
    await phaseDrawn(page, '');
    await button(page, 'Passo').click();
    await at(page, 1);
    assert.deepEqual(await machine(page), byPhase);
});

// A program that never ends: a counter and a jump back.
const endless = ['ciclo: INC conta', 'JMP ciclo', 'RST', 'conta: DB 0', ''].join('\n');

test('Anima runs visibly at a slow speed; Ferma stops it and Indietro goes back through its steps', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, endless);
    const speed = page.getByRole('slider', { name: 'Velocità' });
    // 0..300: 10^(value/100) steps a second.
    await speed.fill('60');
    assert.equal(await speed.getAttribute('aria-valuetext'), '4 passi al secondo');

    await button(page, 'Anima').click();
    // The drawing and the registers follow the steps as they come.
    await waitText(page, 'messages', /istruzioni eseguite: [4-9]\b/);
    await phaseDrawn(page, 'Esecuzione');
    assert.equal(await button(page, 'Passo').isDisabled(), true);
    await button(page, 'Ferma').click();
    await waitText(page, 'messages', /Animazione fermata/);
    await page.waitForFunction(() => !document.getElementById('animate').disabled);
    const stopped = Number((await page.locator('#messages').textContent()).match(/istruzioni eseguite: (\d+)/)[1]);
    const history = page.getByRole('slider', { name: 'Cronologia' });
    assert.equal(await history.getAttribute('max'), String(stopped));
    // Two instructions a round: the counter has gone round stopped / 2 times.
    const counter = await page.locator('#memory tbody td').nth(5).textContent();
    assert.equal(parseInt(counter, 16), Math.ceil(stopped / 2));

    await button(page, 'Indietro').click();
    await at(page, stopped - 1);
    assert.equal(await history.inputValue(), String(stopped - 1));
    assert.equal(await history.getAttribute('max'), String(stopped));
});

test('Cronologia goes to step 0, the middle and the end, exactly as the steps left the machine', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await page.getByRole('combobox', { name: 'Esempi' }).selectOption('parole');
    const history = page.getByRole('slider', { name: 'Cronologia' });
    assert.equal(await history.isDisabled(), true);

    const seen = [];
    await button(page, 'Passo').click();
    await at(page, 1);
    await button(page, 'Indietro').click();
    await at(page, 0);
    seen.push(await machine(page));
    for (let step = 1; step <= 6; step++) {
        await button(page, 'Passo').click();
        await at(page, step);
        seen.push(await machine(page));
        // It moves with the steps.
        assert.equal(await history.inputValue(), String(step));
        assert.equal(await history.getAttribute('aria-valuetext'), `passo ${step} di ${step}`);
    }

    for (const position of [0, 3, 6]) {
        await history.fill(String(position));
        await at(page, position);
        assert.deepEqual(await machine(page), seen[position], `passo ${position}`);
        assert.equal(await history.getAttribute('max'), '6');
    }
});
