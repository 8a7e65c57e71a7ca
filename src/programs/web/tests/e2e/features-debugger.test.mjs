// The debugger on the page, on the session that examples/sessione-tarndbg.md
// tells with tarndbg: parole.asm, whose counter is the same byte as the word
// it reads. Forwards and back, who wrote a byte, watching it, breakpoints from
// the gutter and from the keyboard, and an edit that ends the session; the
// numbers in hexadecimal beside the registers, the rows' characters, the
// lines' addresses, an endless loop and an INP that would write too far.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { button, memory, openPage, registers, registersHex, setSource, skipPage, text, waitText } from './features-page.mjs';

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

// What the source's gutters show beside each line: its address and the
// loop's mark, by the line they are level with.
async function gutters(page) {
    return page.evaluate(() => {
        const beside = (selector, line) => {
            const top = Math.round(line.getBoundingClientRect().top);
            const found = [...document.querySelectorAll(selector)].find((e) => Math.round(e.getBoundingClientRect().top) === top);
            return found?.textContent || null;
        };
        return [...document.querySelectorAll('.cm-content .cm-line')].map((line) => [
            beside('.cm-address-gutter .cm-gutterElement', line),
            beside('.cm-loop-gutter .cm-gutterElement', line),
            line.classList.contains('cm-loop-line'),
        ]);
    });
}

// The characters beside the memory's rows, one string a row.
async function characterRows(page) {
    return page.evaluate(() => [...document.querySelectorAll('#memory-characters > div:not(.characters-head)')].map((d) => d.textContent));
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
    assert.deepEqual(await registersHex(page), ['0x03 (3)', '0x83 (131)', '0x13 (19)', '0x12 (18)', '0x00 (0)']);
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
    // Row 0x10: "zero" (0), then "uno" over "0 p" of "0 parole\n".
    assert.equal((await characterRows(page))[1], '...unoarole.....');
    await page.locator('#memory td').nth(19).click();
    assert.equal(await text(page, 'cell-info'), "Cella 0x13 (19): 0x75 (117, 'u')");
    await page.locator('#memory td').nth(27).click();
    assert.equal(await text(page, 'cell-info'), 'Cella 0x1B (27): 0x0A (10)');

    await page.keyboard.press('b');
    await settled(page);
    await waitText(page, 'messages', /Un passo indietro: annullato il passo 2\./);
    assert.deepEqual(await registers(page), ['PC 3', 'IR 131', 'A 19', 'B 18', 'X 0', 'D=0 Z=1 O=0 P=0 N=0']);
    assert.equal((await memory(page))[19], 0);
    assert.equal(await nextLine(page), line.inp);
});

test('to the end, who wrote the counter, a watched byte and a breakpoint stop the run', { skip: skipPage }, async (t) => {
    const { page } = await parole(t);
    // Each INP is warned of before it runs: parola has no byte of its own,
    // and the word goes over conta. Three words, three warnings; then the
    // fourth INP waits, and the end of the input lets the run go on to the end.
    const warning = /^Avviso: INP \(riga 10, indirizzo 0x03\) sta per scrivere una parola di 3 caratteri da 0x13 \(19\), ma l'etichetta parola non ha byte suoi: scrive nei byte di conta \(riga 23, indirizzo 0x13\)\./;
    for (let word = 0; word < 3; word++) {
        await button(page, 'Continua').click();
        await settled(page);
        await waitText(page, 'messages', warning);
    }
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /INP \(riga 10, indirizzo 0x03\) aspetta una parola/);
    await button(page, "Fine dell'ingresso").click();
    await settled(page);
    await waitText(page, 'messages', /La macchina si è fermata: codice operativo 0 all'indirizzo 0x11 \(17\), riga 18, dopo 27\s+istruzioni\./);
    assert.deepEqual(await registers(page), ['PC 17', 'IR 71', 'A 19', 'B 18', 'X 0', 'D=0 Z=1 O=0 P=1 N=0']);
    assert.equal(await page.getByRole('region', { name: 'Uscita' }).locator('pre').textContent(), '');

    // Byte 19 chosen with the arrows: one row down, three columns right.
    const cells = page.getByRole('region', { name: 'Memoria' }).locator('td');
    await cells.first().click();
    for (const key of ['ArrowDown', 'ArrowRight', 'ArrowRight', 'ArrowRight']) await page.keyboard.press(key);
    assert.equal(await page.evaluate(() => document.activeElement.dataset.address), '19');
    await button(page, "Chi l'ha scritto?").click();
    await settled(page);
    await waitText(page, 'messages', /Il byte 0x13 \(19\), che vale 0x00 \(0\), è stato scritto per ultimo dall'istruzione all'indirizzo 0x00\s+\(riga 9: ciclo:\s+MUL parola, zero\), al passo 22\./);

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
    await waitText(page, 'messages', /Il byte 0x13 \(19\) è cambiato: da 0x30 \(48, '0'\) a 0x00 \(0\), per MUL \(riga 9, indirizzo 0x00\) al passo 1\./);
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /Il byte 0x13 \(19\) è cambiato: da 0x00 \(0\) a 0x75 \(117, 'u'\), per INP \(riga 10, indirizzo 0x03\) al passo 2\./);
    await button(page, 'Osserva').click();
    await settled(page);
    assert.equal(await page.locator('#memory td.watched').count(), 0);

    // A breakpoint from the gutter on "fine: WRT conta": c stops before it.
    await clickGutter(page, line.fine);
    await settled(page);
    assert.equal(await page.locator('.breakpoint-dot').count(), 1);
    // Continua passes the INP warnings one at a time, then stops there.
    for (let run = 0; run < 6; run++) {
        if (await page.evaluate(() => document.getElementById('reg-PC').textContent === 'PC 15')) break;
        if (await page.getByRole('textbox', { name: 'Parola' }).isVisible()) {
            await button(page, "Fine dell'ingresso").click();
        } else {
            await button(page, 'Continua').click();
        }
        await settled(page);
    }
    await page.waitForFunction(() => document.getElementById('reg-PC').textContent === 'PC 15');
    assert.match(await text(page, 'messages'), /arresto/i);
    assert.equal(await nextLine(page), line.fine);
    // Ritorna goes back to the previous stop: the last INP warned of.
    await button(page, 'Ritorna').click();
    await settled(page);
    assert.equal(await nextLine(page), line.inp);
    assert.equal((await registers(page))[0], 'PC 3');
    await waitText(page, 'messages', warning);
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
    await waitText(page, 'messages', /La macchina si è fermata: codice operativo 0 all'indirizzo 0x[0-9A-F]{2} \(\d+\), riga 5, dopo 4\s+istruzioni\./);
    assert.equal(await page.getByRole('region', { name: 'Uscita' }).locator('pre').textContent(), 'fine');

    // An edit ends the session: no next line, and the page says why.
    await page.getByRole('textbox', { name: 'Programma', exact: true }).click();
    await page.keyboard.press('Control+End');
    await page.keyboard.type('; altro');
    await waitText(page, 'messages', /la sessione di debug è finita/);
    assert.equal(await nextLine(page), null);
    // The next command starts a new session on the new text.
    await button(page, 'Passo').click();
    await settled(page);
    await waitText(page, 'messages', /istruzioni eseguite: 1\b/);
});

test('the characters of the memory rows stand beside the table, level with its rows, hidden from screen readers', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, 'WRT m\nRST\nm: DB "Ciao, mondo!\\n", 0\n');
    await button(page, 'Passo').click();
    await settled(page);
    const rows = await characterRows(page);
    assert.equal(rows.length, 16);
    assert.equal(rows[0], 'G..Ciao, mondo!.');
    for (const row of rows.slice(1)) assert.equal(row, '.'.repeat(16));
    const placed = await page.evaluate(() => {
        const characters = document.getElementById('memory-characters');
        const table = document.getElementById('memory');
        const tops = (elements) => [...elements].map((e) => Math.round(e.getBoundingClientRect().top));
        return {
            inTable: table.contains(characters),
            hidden: characters.closest('[aria-hidden="true"]') !== null,
            besides: characters.getBoundingClientRect().left >= table.getBoundingClientRect().right,
            rows: tops(table.querySelectorAll('tr')),
            lines: tops(characters.children),
        };
    });
    assert.deepEqual([placed.inTable, placed.hidden, placed.besides], [false, true, true]);
    assert.equal(placed.lines.length, 17);
    placed.rows.forEach((top, i) => assert.ok(Math.abs(top - placed.lines[i]) <= 1, `riga ${i}: ${top} e ${placed.lines[i]}`));
    // The table is as it was: a header and 16 cells a row, two digits each.
    assert.equal(await page.locator('#memory td').count(), 256);
});

test('Continua stops on an endless loop and marks its lines; Ritorna goes back to where it begins', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, 'NOP\nNOP\ngiro:   INC x\n        DEC x\n        JMP giro\n        RST\nx:      DB 0\n');
    // No session, no addresses.
    assert.deepEqual((await gutters(page)).map(([address]) => address), new Array(8).fill(null));
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /^Ciclo infinito: dal passo 4 la macchina ripete gli stessi 3 passi \(righe 3-5\): il programma non finirebbe mai\. «Ritorna» torna dove comincia\./);
    await waitText(page, 'messages', /istruzioni eseguite: 7\b/);
    const mark = '↻';
    assert.deepEqual(await gutters(page), [
        ['00', null, false],
        ['01', null, false],
        ['02', mark, true],
        ['04', mark, true],
        ['06', mark, true],
        ['08', null, false],
        ['09', null, false],
        [null, null, false],
    ]);
    const titles = await page.evaluate(() => [
        ...[...document.querySelectorAll('.cm-loop-line')].map((l) => l.title),
        ...[...document.querySelectorAll('.cm-loop-gutter .loop-mark')].map((m) => m.getAttribute('aria-label')),
    ]);
    assert.deepEqual(titles, new Array(6).fill('riga del ciclo infinito'));

    await button(page, 'Ritorna').click();
    await settled(page);
    await waitText(page, 'messages', /^Sei dove comincia il ciclo infinito: dal passo 4 la macchina ripete gli stessi 3 passi \(righe 3-5\)\./);
    await waitText(page, 'messages', /istruzioni eseguite: 4\b/);
    // After NOP, NOP, INC and DEC the loop begins at the JMP.
    assert.equal(await nextLine(page), 5);

    // An edit ends the session: no addresses, no loop.
    await page.getByRole('textbox', { name: 'Programma', exact: true }).click();
    await page.keyboard.press('Control+End');
    await page.keyboard.type('; fine');
    await waitText(page, 'messages', /la sessione di debug è finita/);
    assert.deepEqual(await gutters(page), new Array(8).fill([null, null, false]));
});

test('a loop line whose instruction the program rewrote says what runs there', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    // INC x becomes JMP q: the line shows the one, the machine runs the other.
    await setSource(page, 'VAL q, 64\nVAL q+1, 6\nq: INC x\nRST\nx: DB 0\n');
    // Each VAL writes into code: the session says so before each of them.
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /^Avviso: VAL \(riga 1, indirizzo 0x00\) sta per scrivere/);
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /^Avviso: VAL \(riga 2, indirizzo 0x03\) sta per scrivere/);
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /\(riga 3\): il programma non finirebbe mai\. Alla riga 3 il ciclo esegue JMP q \(riscritta dal programma\)\./);
    const titles = await page.evaluate(() => [
        ...[...document.querySelectorAll('.cm-loop-line')].map((l) => l.title),
        ...[...document.querySelectorAll('.cm-loop-gutter .loop-mark')].map((m) => m.getAttribute('aria-label')),
    ]);
    assert.deepEqual(titles, new Array(2).fill('riga del ciclo infinito: esegue JMP q (riscritta dal programma)'));
});

test('code that rewrites itself on purpose stops Continua once for each instruction; «Chi l\'ha scritto?» names those that pass', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    // INC and DEC move the target of the JMP at p and put it back, three turns.
    //   0 NOP  1 INC  3 DEC  5 DEC  7 CLZ  8 CMP  11 JPZ  13 JMP  15 p: JMP  17 fine  18 n  19 zero
    await setSource(page, 'NOP\ngiro: INC p+1\nDEC p+1\nDEC n\nCLZ\nCMP n, zero\nJPZ p\nJMP giro\np: JMP fine\nfine: RST\nn: DB 3\nzero: DB 0\n');
    const stops = [['INC', 2, '0x01', 1], ['DEC', 3, '0x03', 2]];
    for (const [mnemonic, line, address, steps] of stops) {
        await button(page, 'Continua').click();
        await settled(page);
        await waitText(page, 'messages', new RegExp(`^Avviso: ${mnemonic} \\(riga ${line}, indirizzo ${address}\\) sta per scrivere nel byte 0x10 \\(16\\), parte di un'istruzione della riga 9: .*, e le prossime scritture di questa istruzione nel programma non fermeranno più il debugger\\.`));
        await waitText(page, 'messages', new RegExp(`istruzioni eseguite: ${steps}\\b`));
    }
    // Their later writes pass: the run goes to the end.
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /La macchina si è fermata: codice operativo 0 all'indirizzo 0x11 \(17\), riga 10, dopo 22\s+istruzioni\./);

    await page.getByRole('region', { name: 'Memoria' }).locator('td').nth(16).click();
    await button(page, "Chi l'ha scritto?").click();
    await settled(page);
    await waitText(page, 'messages', /Le scritture della riga 2 \(giro: INC p\+1\) e della riga 3 \(DEC p\+1\) qui non fermano più il debugger\./);
});

test('a word that would make INP write into another label\'s bytes is said before the INP runs', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, 'INP a\nWRT a\nRST\na: DB 0, 0, 0\nb: DB "xy", 0\n');
    await button(page, 'Continua').click();
    await settled(page);
    const word = page.getByRole('textbox', { name: 'Parola' });
    await word.waitFor();
    await word.fill('abcdef');
    await word.press('Enter');
    await settled(page);
    await waitText(page, 'messages', /^Avviso: INP \(riga 1, indirizzo 0x00\) sta per scrivere una parola di 6 caratteri da 0x05 \(5\): va oltre la fine dei dati di a e scrive nei byte di b \(riga 5, indirizzo 0x08\)\./);
    // Said once, and the run did not go on.
    assert.equal((await text(page, 'messages')).split('sta per scrivere').length, 2);
    await waitText(page, 'messages', /istruzioni eseguite: 0\b/);
    assert.equal(await word.isVisible(), false);
    // The next Passo runs the INP.
    await button(page, 'Passo').click();
    await settled(page);
    await waitText(page, 'messages', /istruzioni eseguite: 1\b/);
    assert.equal(String.fromCharCode(...(await memory(page)).slice(5, 11)), 'abcdef');
});

test('a warning about the first instruction is read before it runs: the Passo or Continua that starts the session stops there', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    const source = 'INP a\nWRT a\nRST\na: DB 0, 0, 0\nb: DB "xy", 0\n';
    await page.getByRole('textbox', { name: 'Ingresso' }).fill('abcdef');
    for (const command of ['Passo', 'Continua']) {
        // A fresh session each time.
        await setSource(page, source);
        await button(page, command).click();
        await settled(page);
        await waitText(page, 'messages', /^Avviso: INP \(riga 1, indirizzo 0x00\) sta per scrivere una parola di 6 caratteri da 0x05 \(5\): va oltre la fine dei dati di a e scrive nei byte di b/);
        const said = await text(page, 'messages');
        assert.equal(said.split('sta per scrivere').length, 2, command);
        assert.match(said, /Debug iniziato: .*«Passo» la esegue\./, command);
        assert.match(said, /istruzioni eseguite: 0\b/, command);
        assert.equal(String.fromCharCode(...(await memory(page)).slice(5, 8)), '\0\0\0', command);
        // The next one runs it.
        await button(page, command).click();
        await settled(page);
        await waitText(page, 'messages', /istruzioni eseguite: [1-9]/);
        assert.equal(String.fromCharCode(...(await memory(page)).slice(5, 11)), 'abcdef', command);
    }
});

test('a run stopped by a warning says it once', { skip: skipPage }, async (t) => {
    const { page } = await openPage(t);
    await setSource(page, 'NOP\nADD x, 250\nRST\nx: DB 1\n');
    await button(page, 'Continua').click();
    await settled(page);
    await waitText(page, 'messages', /^Avviso: ADD \(riga 2, indirizzo 0x01\) sta per leggere il byte 0xFA \(250\)/);
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
