// The debugger on the page, on the session that examples/sessione-tarndbg.md
// tells with tarndbg: parole.asm, whose counter is the same byte as the word
// it reads. Forwards and back, who wrote a byte, watching it, breakpoints from
// the gutter and from the keyboard, and an edit that ends the session.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { button, memory, openPage, registers, setSource, skipPage, text, waitText } from './features-page.mjs';

// parole.asm's lines: where its instructions are.
const line = { ciclo: 9, inp: 10, fine: 17, rst: 18 };

async function nextLine(page) {
    return page.evaluate(() => {
        const marked = document.querySelector('.cm-next-line');
        if (!marked) return null;
        return [...document.querySelectorAll('.cm-content .cm-line')].indexOf(marked) + 1;
    });
}

// A click in the breakpoint gutter beside a line.
async function clickGutter(page, number) {
    const row = await page.locator('.cm-content .cm-line').nth(number - 1).boundingBox();
    const gutter = await page.locator('.cm-breakpoint-gutter').boundingBox();
    await page.mouse.click(gutter.x + gutter.width / 2, row.y + Math.min(row.height / 2, 8));
}

async function parole(t) {
    const opened = await openPage(t);
    await opened.page.getByRole('combobox', { name: 'Esempi' }).selectOption('parole');
    return opened;
}

// Waits for the debugger to answer a command (the buttons come back).
async function settled(page) {
    await page.waitForFunction(() => !document.getElementById('step').disabled);
}

test('step forwards and back: registers, flags, memory and the next line follow', { skip: skipPage }, async (t) => {
    const { page } = await parole(t);
    await button(page, 'Passo').click();
    await settled(page);
    await waitText(page, 'messages', /istruzioni eseguite: 1\b/);
    // MUL left 0: Z is on.
    assert.deepEqual(await registers(page), ['PC 3', 'IR 131', 'A 19', 'B 18', 'X 0', 'D=0 Z=1 O=0 P=0 N=0']);
    assert.equal(await nextLine(page), line.inp);
    let bytes = await memory(page);
    assert.deepEqual(bytes.slice(0, 3), [0x83, 0x13, 0x12]);
    assert.equal(bytes[19], 0);

    // Keyboard, with the focus out of the editor: s steps, b goes back.
    await page.getByRole('region', { name: 'Memoria' }).locator('td').first().focus();
    await page.keyboard.press('s');
    await settled(page);
    await waitText(page, 'messages', /istruzioni eseguite: 2\b/);
    assert.equal((await registers(page))[0], 'PC 5');
    bytes = await memory(page);
    assert.deepEqual(bytes.slice(19, 22), [0x75, 0x6e, 0x6f]);
    assert.deepEqual(
        await page.evaluate(() => [...document.querySelectorAll('#memory td.changed')].map((td) => Number(td.dataset.address))),
        [19, 20, 21],
    );
    assert.equal(await page.locator('#memory td').nth(19).textContent(), '75');

    await page.keyboard.press('b');
    await settled(page);
    await waitText(page, 'messages', /Un passo indietro: annullato il passo 2\./);
    assert.deepEqual(await registers(page), ['PC 3', 'IR 131', 'A 19', 'B 18', 'X 0', 'D=0 Z=1 O=0 P=0 N=0']);
    assert.equal((await memory(page))[19], 0);
    assert.equal(await nextLine(page), line.inp);
});

test('to the end, who wrote the counter, a watched byte and a breakpoint stop the run', { skip: skipPage }, async (t) => {
    const { page } = await parole(t);
    await button(page, 'Continua').click();
    await settled(page);
    // "uno due tre" read, the fourth INP waits: the end of the input lets
    // the run go on to the end.
    await waitText(page, 'messages', /INP \(indirizzo 3, riga 10\) aspetta una parola/);
    await button(page, "Fine dell'ingresso").click();
    await settled(page);
    await waitText(page, 'messages', /La macchina si è fermata: codice operativo 0 all'indirizzo 17 \(riga 18\), dopo 27\s+istruzioni\./);
    assert.deepEqual(await registers(page), ['PC 17', 'IR 71', 'A 19', 'B 18', 'X 0', 'D=0 Z=1 O=0 P=1 N=0']);
    assert.equal(await page.getByRole('region', { name: 'Uscita' }).locator('pre').textContent(), '');

    // Byte 19 chosen with the arrows: one row down, three columns right.
    const cells = page.getByRole('region', { name: 'Memoria' }).locator('td');
    await cells.first().click();
    for (const key of ['ArrowDown', 'ArrowRight', 'ArrowRight', 'ArrowRight']) await page.keyboard.press(key);
    assert.equal(await page.evaluate(() => document.activeElement.dataset.address), '19');
    await button(page, "Chi l'ha scritto?").click();
    await settled(page);
    await waitText(page, 'messages', /Il byte 19 \(valore 0\) è stato scritto per ultimo dall'istruzione all'indirizzo 0\s+\(riga 9: ciclo:\s+MUL parola, zero\), al passo 22\./);

    // w watches it (the focus is still on the cell), g starts again, c stops where it changes.
    await cells.nth(19).focus();
    await page.keyboard.press('w');
    await settled(page);
    assert.equal(await page.locator('#memory td.watched').count(), 1);
    await page.keyboard.press('g');
    await settled(page);
    await waitText(page, 'messages', /istruzioni eseguite: 0\b/);
    await page.keyboard.press('c');
    await settled(page);
    await waitText(page, 'messages', /Il byte 19 è cambiato: da 48 a 0, per MUL \(indirizzo 0, riga 9\) al passo 1\./);
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /Il byte 19 è cambiato: da 0 a 117, per INP \(indirizzo 3, riga 10\) al passo 2\./);
    await button(page, 'Osserva').click();
    await settled(page);
    assert.equal(await page.locator('#memory td.watched').count(), 0);

    // A breakpoint from the gutter on "fine: WRT conta": c stops before it.
    await clickGutter(page, line.fine);
    await settled(page);
    assert.equal(await page.locator('.breakpoint-dot').count(), 1);
    await button(page, 'Continua').click();
    await settled(page);
    if (await page.getByRole('textbox', { name: 'Parola' }).isVisible()) {
        await button(page, "Fine dell'ingresso").click();
        await settled(page);
    }
    await page.waitForFunction(() => document.getElementById('reg-PC').textContent === 'PC 15');
    assert.match(await text(page, 'messages'), /arresto/i);
    assert.equal(await nextLine(page), line.fine);
    // Ritorna goes back to the previous stop, the start.
    await button(page, 'Ritorna').click();
    await settled(page);
    assert.equal(await nextLine(page), line.ciclo);
    assert.equal((await registers(page))[0], 'PC 0');
});

test('"Punto di arresto" and k toggle the cursor\'s line; editing ends the session', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, 'VAL x, 1\nINC x\nINC x\nWRT m\nRST\nx: DB 0\nm: DB "fine", 0\n');
    // The cursor on line 3, then a breakpoint there before any session.
    await page.keyboard.press('Control+Home');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('ArrowDown');
    await button(page, 'Punto di arresto').click();
    assert.equal(await page.locator('.breakpoint-dot').count(), 1);
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /istruzioni eseguite: 2\b/);
    assert.equal(await nextLine(page), 3);

    // k on line 3 again takes it away; c goes to the end.
    await page.getByRole('button', { name: 'Passo', exact: true }).focus();
    await page.keyboard.press('k');
    await settled(page);
    assert.equal(await page.locator('.breakpoint-dot').count(), 0);
    await page.keyboard.press('c');
    await settled(page);
    await waitText(page, 'messages', /La macchina si è fermata/);
    assert.equal(await page.getByRole('region', { name: 'Uscita' }).locator('pre').textContent(), 'fine');
    assert.equal(await nextLine(page), 5);
    // Back before the WRT its output goes; forwards again it comes back.
    await page.keyboard.press('b');
    await settled(page);
    await waitText(page, 'messages', /Un passo indietro: annullato il passo 4\./);
    assert.equal(await page.getByRole('region', { name: 'Uscita' }).locator('pre').textContent(), '');
    await page.keyboard.press('s');
    await settled(page);
    await waitText(page, 'messages', /La macchina si è fermata: codice operativo 0 all'indirizzo \d+ \(riga 5\), dopo 4\s+istruzioni\./);
    assert.equal(await page.getByRole('region', { name: 'Uscita' }).locator('pre').textContent(), 'fine');

    // An edit ends the session: no next line, and the page says why.
    await page.getByRole('textbox', { name: 'Sorgente' }).click();
    await page.keyboard.press('Control+End');
    await page.keyboard.type('; altro');
    await waitText(page, 'messages', /la sessione di debug è finita/);
    assert.equal(await nextLine(page), null);
    // The next command starts a new session on the new text.
    await button(page, 'Passo').click();
    await settled(page);
    await waitText(page, 'messages', /istruzioni eseguite: 1\b/);
});

test('a run stopped by a warning says it once', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, 'NOP\nADD x, 250\nRST\nx: DB 1\n');
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /^Avviso: ADD \(indirizzo 1, riga 2\) sta per leggere il byte 250/);
    assert.equal((await text(page, 'messages')).split('sta per leggere').length, 2);
});

test('"Aiuto" and ? open the guide; Escape closes it', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await button(page, 'Passo').focus();
    await page.keyboard.press('?');
    const dialog = page.getByRole('dialog', { name: 'Aiuto' });
    await dialog.waitFor();
    for (const part of ['Scrivere', 'Eseguire', 'La traccia', 'Il debugger', 'Esercizi', 'Condividere', 'Senza rete']) {
        assert.equal(await dialog.getByRole('heading', { name: part, exact: true }).count(), 1, part);
    }
    // Keys inside the guide do nothing to the debugger.
    await page.keyboard.press('s');
    assert.doesNotMatch(await text(page, 'messages'), /istruzioni eseguite/);
    await page.keyboard.press('Escape');
    await dialog.waitFor({ state: 'hidden' });
    await button(page, 'Aiuto').click();
    await dialog.waitFor();
    await dialog.getByRole('button', { name: 'Chiudi' }).click();
    await dialog.waitFor({ state: 'hidden' });
});
