// The page of the browser edition: the editor, running as tarnsim does, the
// debugger, exercises, sharing and the saved works (works.js). All the
// machine's work is done by the worker (worker/worker.js) with the wasm
// module; this file only asks and shows.
import examples from 'tarnweb-examples';
import { createEditor } from './editor.js';
import {
    FileTooLarge,
    boundedText,
    defaultName,
    download,
    exerciseAddress,
    maxExerciseBytes,
    maxSourceFileBytes,
    programName,
    sizeText,
    visibleName,
} from './files.js';
import { MachineView } from './machine-view.js';
import { ShareError, copyWhenReady, decodeShare, encodeShare, maxSourceBytes } from './share.js';
import { TextView } from './text-view.js';
import { WorkerClient, WorkerGone, inlineEdition } from './worker-client.js';
import { Works } from './works.js';
import './offline.js';

const $ = (id) => document.getElementById(id);
const stopTimeout = 300;

// ---------------------------------------------------------------- messages

const messages = $('messages');

// Replaces the message lines; `sayings` counts the times, so that a late
// answer can tell whether the page has said something else since.
// While the work cannot be saved, the reason stays under what is said.
let sayings = 0;
function say(...lines) {
    sayings++;
    messages.replaceChildren(...[...lines, works.unsavedNote].filter((l) => l !== '' && l != null).map(paragraph));
}

// Adds a line to the ones shown.
function add(line) {
    if (line) messages.append(paragraph(line));
}

function paragraph(text) {
    const p = document.createElement('p');
    p.textContent = text;
    return p;
}

const diagnosticsList = $('diagnostics');

function showDiagnostics({ diagnostics = [], omitted = [] } = {}) {
    const items = [...diagnostics.map((d) => [d.text, d.severity === 'errore' ? 'error' : 'warning']), ...omitted.map((t) => [t, 'omitted'])];
    diagnosticsList.replaceChildren(
        ...items.map(([text, kind]) => {
            const li = document.createElement('li');
            li.className = kind;
            li.textContent = text;
            return li;
        }),
    );
}

const failedText = 'Il programma contiene errori: correggili (sono elencati in «Diagnostica») e riprova.';

// ------------------------------------------------------------------ state

const nameInput = $('file-name');
const inputBox = $('input');
const outputView = new TextView($('output'));
const consoleView = new TextView($('console'));
const consoleElement = $('console');
const wordBox = $('word-box');
const wordInput = $('word');

// mode: 'idle', 'run' (a run as tarnsim runs it) or 'debug' (a session).
let mode = 'idle';
let runState = null;
let executed = 0;
// The debugger request in flight, if any ('continue', 'step', ...).
let busy = null;
let exercise = null;
// A verification in flight, and whether "Ferma" gave it up.
let verifying = false;
let verifyStopped = false;
let loading = 0;
// The source of the last run, until the editor changes: "Registri" and
// "Memoria" show the machine that run left, not the assembler's image.
let ranSource = null;

const client = new WorkerClient({ onEvent: runEvent, onRestart: workerRestarted });

// ----------------------------------------------------------------- editor

const editor = createEditor({
    parent: $('editor'),
    diagnose,
    onChange: sourceChanged,
    onBreakpoint: (line) => breakpointToggled(line),
});

async function diagnose(source) {
    const reply = await client.request('assemble', { source });
    if (!reply.ok) throw new Error(reply.error);
    if (source !== editor.text()) return [];
    showDiagnostics(reply);
    // Not over the machine a run of this same source left.
    if (mode === 'idle' && !reply.failed && reply.image && source !== ranSource) machine.showImage(reply.image);
    const length = source.length;
    return reply.diagnostics.map((d) => {
        const from = Math.max(0, Math.min(d.from, length));
        const to = Math.max(from, Math.min(Math.max(d.to, d.from + 1), length));
        return { from, to, severity: d.severity === 'errore' ? 'error' : 'warning', message: d.message };
    });
}

function sourceChanged(update) {
    ranSource = null;
    const typed = !loading && update.transactions.some((t) => t.docChanged && !t.isUserEvent('load'));
    if (mode === 'debug') endSession('Hai modificato il sorgente: la sessione di debug è finita.');
    workChanged(typed);
}

// Something of the work (source, name, input) changed; `typed` when the
// student did it rather than a work being loaded.
function workChanged(typed) {
    works.changed(typed);
}

// Loads a whole work: the source, its name and its input.
function setWork({ source, name, input }) {
    loading++;
    try {
        editor.loadText(source);
        nameInput.value = programName(name);
        inputBox.value = typeof input === 'string' ? input : '';
    } finally {
        loading--;
    }
}

const works = new Works({
    examples,
    read: () => ({ source: editor.text(), name: nameInput.value, input: inputBox.value }),
    load(work) {
        if (mode === 'debug') endSession('');
        // A program still running belongs to the work that goes: it stops
        // without a word, its last events ignored.
        if (mode === 'run') {
            finishRun();
            stopWorker();
        }
        setWork(work);
    },
    say,
    add,
    dialog: $('works-dialog'),
});

// ---------------------------------------------------------------- running

const runButton = $('run');
const stopButton = $('stop');
const keyButton = $('key');
const debugButtons = ['step', 'back', 'continue', 'reverse', 'restart', 'breakpoint', 'watch', 'who-wrote'].map($);

// One thing at a time: while a verification runs, nothing else starts, and
// Verifica waits for the debugger's command (a run it stops first).
function updateButtons() {
    const running = mode === 'run' && runState !== 'halted' && runState !== 'stopped';
    stopButton.disabled = !(running || verifying || busy === 'continue' || busy === 'reverse' || busy === 'debug');
    runButton.disabled = running || busy !== null || verifying;
    keyButton.disabled = !(mode === 'run' && runState === 'trace');
    for (const button of debugButtons) button.disabled = busy !== null || verifying;
    $('verify').disabled = exercise === null || verifying || busy !== null;
}

function showWordBox(shown) {
    const wasHidden = wordBox.hidden;
    wordBox.hidden = !shown;
    if (shown && wasHidden) {
        const active = document.activeElement;
        if (!active || active === document.body || active.closest('.run-pane') || active === consoleElement) wordInput.focus();
    }
}

async function runProgram() {
    if (mode === 'run') await stopRun();
    if (mode === 'debug') endSession('');
    outputView.clear();
    consoleView.clear();
    printedTotals = null;
    ranSource = editor.text();
    editor.setNextLine(null);
    showWordBox(false);
    mode = 'run';
    runState = 'starting';
    runsStarted++;
    executed = 0;
    say('Assemblo ed eseguo il programma…');
    updateButtons();
    let reply;
    try {
        reply = await client.request('run', { source: ranSource, name: nameInput.value || defaultName, input: inputBox.value });
    } catch (error) {
        finishRun();
        if (!(error instanceof WorkerGone)) say(`Impossibile eseguire il programma: ${error.message}`);
        return;
    }
    if (!reply.ok || reply.failed) {
        finishRun();
        ranSource = null;
        if (!reply.ok) say(reply.error);
        else {
            showDiagnostics(reply);
            say(failedText);
        }
        return;
    }
    if (runState === 'starting') runState = 'running';
    updateButtons();
}

function runEvent(event) {
    // Until the run's reply, whatever comes is the end of an earlier run.
    if (event?.event === 'continue') return continueProgress(event);
    if (event?.event !== 'run' || mode !== 'run' || runState === 'starting') return;
    consoleView.addBytes(event.console);
    outputView.addBytes(event.output);
    if (event.consoleCut) consoleView.cutHere();
    if (event.outputCut) outputView.cutHere();
    if (event.machine) machine.show(event.machine);
    printedTotals = { console: event.consoleTotal, output: event.outputTotal };
    // Waiting or over: what it shows is complete now, not at the next frame.
    if (event.state !== 'running') {
        consoleView.render();
        outputView.render();
    }
    if (typeof event.executed === 'number') executed = event.executed;
    const previous = runState;
    runState = event.state;
    const count = `istruzioni eseguite: ${executed}`;
    switch (event.state) {
        case 'trace':
            say('Traccia: premi «Tasto», o un tasto qualsiasi nella console, per eseguire l\'istruzione mostrata.', count);
            if (previous !== 'trace') {
                const active = document.activeElement;
                if (!active || active === document.body || active === runButton || active === keyButton) consoleElement.focus();
            }
            showWordBox(false);
            break;
        case 'input':
            say('Il programma aspetta una parola: scrivila in «Parola» e premi Invio, oppure premi «Fine dell\'ingresso».', count);
            showWordBox(true);
            break;
        case 'halted':
            consoleView.flush();
            outputView.flush();
            finishRun();
            say('Il programma è terminato.', count, ...cutTexts());
            break;
        case 'stopped':
            consoleView.flush();
            outputView.flush();
            finishRun();
            say('Esecuzione fermata.', count, ...cutTexts());
            break;
        default:
            if (previous !== 'running') sayCounting(count, 'Il programma è in esecuzione…');
            else countTo(count);
            showWordBox(false);
            break;
    }
    updateButtons();
}

// How much the run printed, where it was more than is shown.
let printedTotals = null;

// While a program runs, or a continue goes on, the count of instructions has
// a line of its own: what the page says meanwhile (a link made, a note about
// the saved works) stays, and the count goes on under it.
let countLine = null;
function sayCounting(count, ...lines) {
    say(...lines, count);
    countLine = [...messages.children].find((line) => line.textContent === count);
}
function countTo(count) {
    if (countLine?.isConnected) {
        countLine.textContent = count;
        return;
    }
    add(count);
    countLine = messages.lastElementChild;
}

function cutTexts() {
    const texts = [];
    for (const [name, view, total] of [['Console', consoleView, printedTotals?.console], ['Uscita', outputView, printedTotals?.output]]) {
        if (view.cut && typeof total === 'number') texts.push(`«${name}»: il programma ha scritto ${total.toLocaleString('it-IT')} byte, qui si vede il primo MiB.`);
    }
    return texts;
}

function finishRun() {
    mode = 'idle';
    runState = null;
    showWordBox(false);
    updateButtons();
}

// Asks the worker to stop; when it does not answer within stopTimeout
// milliseconds, it is thrown away and a fresh one takes its place.
async function stopWorker() {
    const answer = client.request('stop').then(
        () => 'ok',
        () => 'gone',
    );
    let timer;
    const late = new Promise((resolve) => (timer = setTimeout(() => resolve('late'), stopTimeout)));
    const outcome = await Promise.race([answer, late]);
    clearTimeout(timer);
    if (outcome === 'late') {
        try {
            await client.restart();
        } catch (error) {
            say(`Impossibile riavviare il simulatore: ${error.message}`);
        }
        return false;
    }
    return true;
}

// Stops the run; true when the worker stopped it (rather than being replaced).
async function stopRun() {
    if (mode !== 'run') return false;
    const answered = await stopWorker();
    if (mode === 'run') {
        consoleView.flush();
        outputView.flush();
        finishRun();
        say(answered ? 'Esecuzione fermata.' : 'Il simulatore non rispondeva: è stato riavviato.', `istruzioni eseguite: ${executed}`);
    }
    return answered;
}

// After "Ferma": the endless loop the run was in, if the worker proves one
// from where it stopped, in the words of the debugger's "Continua". Another
// run, a session or anything else the page said in the meantime makes it moot.
let runsStarted = 0;
async function showRunLoop() {
    const run = runsStarted;
    const told = sayings;
    let reply;
    try {
        reply = await client.findRunLoop();
    } catch {
        return;
    }
    if (reply.ok && reply.loop && reply.message && mode === 'idle' && run === runsStarted && told === sayings) add(reply.message);
}

// How many times "Ferma" was pressed: a debugger command that sees the count
// change while its session starts gives up the rest.
let stopsAsked = 0;

async function stop() {
    stopsAsked++;
    if (mode === 'run') {
        if (await stopRun()) showRunLoop();
        return;
    }
    if (verifying) {
        // Grading runs in one go: the worker that does it is replaced.
        verifyStopped = true;
        await stopWorker();
        return;
    }
    // A session that is starting stops before its first instruction: the
    // command that started it sees stopsAsked.
    if (busy === 'debug') return;
    if (busy) {
        const answered = await stopWorker();
        if (!answered) add('Il simulatore non rispondeva: è stato riavviato.');
    }
}

async function sendKey() {
    if (mode !== 'run' || runState !== 'trace') return;
    runState = 'running';
    updateButtons();
    try {
        const reply = await client.request('key');
        if (!reply.ok) say(reply.error);
    } catch {
        // The worker was restarted: nothing to continue.
    }
}

async function sendWord(end) {
    const text = wordInput.value;
    if (mode === 'run' && runState === 'input') {
        runState = 'running';
        wordInput.value = '';
        showWordBox(false);
        updateButtons();
        try {
            const reply = await client.request(end ? 'endInput' : 'word', end ? {} : { text });
            if (!reply.ok) say(reply.error);
        } catch {
            // The worker was restarted.
        }
    } else if (mode === 'debug') {
        wordInput.value = '';
        await debugCommand(end ? 'endInput' : 'word', end ? {} : { text });
    }
}

// --------------------------------------------------------------- debugger

const machine = new MachineView({
    registers: { PC: $('reg-PC'), IR: $('reg-IR'), A: $('reg-A'), B: $('reg-B'), X: $('reg-X') },
    registersHex: { PC: $('hex-PC'), IR: $('hex-IR'), A: $('hex-A'), B: $('hex-B'), X: $('hex-X') },
    flags: $('flags'),
    table: $('memory'),
    characters: $('memory-characters'),
    info: $('cell-info'),
});

// What the source shows of a session: the next line, the lines' addresses
// and an endless loop's lines; all gone without one.
function clearSessionMarks() {
    editor.setNextLine(null);
    editor.setAddresses(null);
    editor.setLoopLines([]);
}

function endSession(message) {
    if (mode !== 'debug') return;
    mode = 'idle';
    lastView = null;
    clearSessionMarks();
    showWordBox(false);
    if (busy === 'continue' || busy === 'reverse') client.request('stop').catch(() => {});
    if (message) say(message);
    updateButtons();
}

// The session's last view.
let lastView = null;

// What the session's program printed: every byte the worker gave (it gives
// each one once), of which a view shows the first outputLength.
let printed = new Uint8Array(0);
let printedCount = 0;
let printedShown = null;

function clearPrinted() {
    printed = new Uint8Array(0);
    printedCount = 0;
    printedShown = null;
}

// Keeps the new bytes a view brings; a view is taken only once.
function takePrinted(view) {
    const bytes = view.output;
    view.output = null;
    if (!(bytes instanceof Uint8Array) || bytes.length === 0) return;
    if (printedCount + bytes.length > printed.length) {
        const larger = new Uint8Array(Math.max(printed.length * 2, printedCount + bytes.length));
        larger.set(printed.subarray(0, printedCount));
        printed = larger;
    }
    printed.set(bytes, printedCount);
    printedCount += bytes.length;
}

function showPrinted(view) {
    const length = Math.min(Number(view.outputLength) || 0, printedCount);
    const shown = `${length} ${Boolean(view.outputCut)}`;
    if (shown === printedShown) return;
    printedShown = shown;
    outputView.setText(new TextDecoder().decode(printed.subarray(0, length)), Boolean(view.outputCut));
}
// What a word (or the end of the input) resumes: 'step' or 'continue', as
// the command that met the INP waiting for it.
let resumeAfterInput = 'step';

// Whether a session just started for op stops before its first instruction:
// a step or a continue would run it, and the warning about it, which the
// session shows before it runs, would never be read.
const warnsFirst = (op, view) => (op === 'step' || op === 'continue') && view?.warnings?.length > 0;

const stoppedFirst = 'Fermato: il debug è iniziato, ma nessuna istruzione è stata eseguita. La riga evidenziata è la prima; «Passo» la esegue.';

// Starts a session on the editor's source, for the command op; false when
// it could not start. stopped() tells whether "Ferma" came meanwhile.
async function startSession(op, stopped) {
    if (mode === 'run') await stopRun();
    const source = editor.text();
    const reply = await client.request('debug', { source, name: nameInput.value || defaultName, input: inputBox.value });
    if (!reply.ok) {
        say(reply.error);
        return false;
    }
    if (reply.failed) {
        showDiagnostics(reply);
        say(failedText);
        return false;
    }
    if (source !== editor.text()) return false;
    mode = 'debug';
    resumeAfterInput = 'step';
    editor.setAddresses(reply.lines);
    outputView.clear();
    consoleView.clear();
    clearPrinted();
    let view = reply.view;
    takePrinted(view);
    const problems = [];
    for (const line of editor.breakpoints()) {
        const answer = await client.request('breakpointLine', { line });
        if (answer.ok) {
            view = answer.view;
            takePrinted(view);
        } else {
            problems.push(`Riga ${line}: ${answer.error}`);
        }
    }
    const warning = warnsFirst(op, view) ? [`Avviso: ${view.warnings[0]}`] : [];
    const said = stopped()
        ? [stoppedFirst, ...warning]
        : warning.length > 0
          ? [...warning, 'Debug iniziato: la riga evidenziata è la prima istruzione, non ancora eseguita; «Passo» la esegue.']
          : ['Debug iniziato: la riga evidenziata è la prossima istruzione.'];
    showView({ ...view, message: '' }, [...said, ...problems]);
    return true;
}

// The view of the session; `said` is the page's own message, shown when the
// session has nothing to tell.
function showView(view, said = []) {
    if (!view) return;
    takePrinted(view);
    lastView = view;
    machine.show(view);
    editor.setNextLine(view.line ?? null);
    editor.setLoopLines(view.loop?.lines ?? [], view.loop?.rewritten ?? []);
    showPrinted(view);
    if (Array.isArray(view.breakpointLines)) {
        const shown = editor.breakpoints();
        const wanted = [...view.breakpointLines].sort((a, b) => a - b);
        if (shown.join() !== wanted.join()) editor.setBreakpoints(wanted);
    }
    const told = view.message ? [view.message] : said;
    // A run stopped by a warning has already said it ("Avviso: ...").
    const warnings = (view.warnings ?? []).filter((w) => !told.some((t) => t.endsWith(w)));
    say(...told, ...warnings, `istruzioni eseguite: ${view.position}`);
    showWordBox(Boolean(view.needsInput));
    if (view.needsInput && !/aspetta una parola/.test(view.message ?? '')) {
        add('Il programma aspetta una parola: scrivila in «Parola» e premi Invio, oppure premi «Fine dell\'ingresso».');
    }
}

// What the commands the debugger has no words for did (the session tells
// the others in view.message).
const commandTexts = {
    word: 'Parola data al programma.',
    endInput: 'Ingresso finito: il prossimo INP non leggerà nulla.',
};

// What the commands that may take a while say while they run (a continue
// then tells how far it has gone).
const runningTexts = {
    continue: 'Continuo fino al prossimo arresto: «Ferma» interrompe.',
    reverse: 'Torno indietro fino all\'arresto precedente…',
};

// How far a continue has gone, while it goes on.
function continueProgress(event) {
    if (mode !== 'debug' || busy !== 'continue') return;
    countTo(`istruzioni eseguite: ${Number(event.position) || 0}`);
}

async function debugCommand(op, args = {}) {
    if (busy || verifying) return;
    busy = op;
    updateButtons();
    const stops = stopsAsked;
    const stopped = () => stopsAsked !== stops;
    try {
        const started = mode !== 'debug';
        if (started) {
            busy = 'debug';
            updateButtons();
            if (!(await startSession(op, stopped))) return;
            busy = op;
            updateButtons();
            if (op === 'restart') return;
        }
        // A warning about the first instruction is read before it runs, and
        // "Ferma" while the session started stops it there too: the command
        // that started the session goes no further.
        if (started && (warnsFirst(op, lastView) || stopped())) return;
        if (runningTexts[op]) sayCounting(`istruzioni eseguite: ${lastView?.position ?? 0}`, runningTexts[op]);
        // A step at an INP that waits asks for the word first.
        if (op === 'step' && lastView?.needsInput) {
            resumeAfterInput = 'step';
            showView(lastView);
            wordInput.focus();
            return;
        }
        const reply = await client.request(op, args);
        if (mode !== 'debug') return;
        if (!reply.ok) {
            say(reply.error);
            return;
        }
        showView(reply.view, [commandTexts[op] ?? '']);
        if (reply.view.needsInput && (op === 'continue' || op === 'step')) resumeAfterInput = op === 'continue' ? 'continue' : 'step';
        // Given the word, the command that waited for it goes on, unless
        // the word brings a warning: the next command runs the INP.
        if (reply.warning) resumeAfterInput = 'step';
        else if ((op === 'word' || op === 'endInput') && !reply.view.needsInput && !reply.view.halted) {
            const next = resumeAfterInput;
            resumeAfterInput = 'step';
            busy = null;
            await debugCommand(next);
        }
    } catch (error) {
        if (error instanceof WorkerGone) endSession('La sessione di debug è finita: il simulatore è stato riavviato.');
        else say(`Errore: ${error.message}`);
    } finally {
        busy = null;
        updateButtons();
    }
}


// A breakpoint toggled in the editor (gutter or "Punto di arresto"): the
// session, if any, follows; a line it refuses loses its mark again.
async function breakpointToggled(line) {
    if (mode !== 'debug') {
        // Without a session the mark waits in the editor for the next one.
        say(editor.breakpoints().includes(line) ? `Punto di arresto alla riga ${line}.` : `Tolto il punto di arresto alla riga ${line}.`);
        return;
    }
    if (busy) {
        // A session busy with another request: the mark goes back.
        editor.toggleBreakpointAt(line);
        say('Il debugger è occupato: riprova tra un attimo.');
        return;
    }
    busy = 'breakpointLine';
    updateButtons();
    try {
        const reply = await client.request('breakpointLine', { line });
        if (mode !== 'debug') return;
        if (!reply.ok) {
            editor.toggleBreakpointAt(line);
            say(reply.error);
            return;
        }
        showView(reply.view);
    } catch (error) {
        if (error instanceof WorkerGone) endSession('La sessione di debug è finita: il simulatore è stato riavviato.');
    } finally {
        busy = null;
        updateButtons();
    }
}

function toggleBreakpointAtCursor() {
    const line = editor.cursorLine();
    editor.toggleBreakpointAt(line);
    breakpointToggled(line);
}

function workerRestarted(info) {
    if (mode === 'debug') {
        mode = 'idle';
        lastView = null;
        clearSessionMarks();
    }
    machine.setNumbers(info?.numbers);
    if (exercise) client.request('exercise', { text: exercise.text, name: exercise.name }).catch(() => {});
    updateButtons();
}

// -------------------------------------------------------------- exercises

const formatPoints = (n) => (Number.isInteger(n) ? String(n) : String(Math.round(n * 100) / 100).replace('.', ','));
const pointsText = (n) => (n === 1 ? '1 punto' : `${formatPoints(n)} punti`);

// An exercise's text, from a file or the address; `tell` says how it went
// (at start-up, after what the page has said of the work it shows).
async function loadExercise(text, name, tell = say) {
    let reply;
    try {
        reply = await client.request('exercise', { text, name });
    } catch (error) {
        tell(`Impossibile leggere l'esercizio: ${error.message}`);
        return;
    }
    if (!reply.ok) {
        tell(...reply.error.split('\n'));
        return;
    }
    exercise = { text, name };
    const info = $('exercise-info');
    const title = document.createElement('p');
    title.className = 'exercise-title';
    title.textContent = reply.title || name;
    const list = document.createElement('ul');
    list.className = 'cases';
    for (const item of reply.cases) {
        const li = document.createElement('li');
        li.textContent = `${item.name} (${pointsText(item.points)}${item.hidden ? ', nascosto' : ''})`;
        list.append(li);
    }
    const parts = [title, list];
    const hidden = typeof reply.hidden === 'number' ? reply.hidden : reply.cases.filter((c) => c.hidden).length;
    if (hidden > 0) {
        parts.push(paragraph(hidden === 1 ? 'Più 1 caso nascosto, che prova l\'insegnante.' : `Più ${hidden} casi nascosti, che prova l'insegnante.`));
    }
    parts.push(paragraph(`Totale dell'esercizio: ${pointsText(reply.total)}.`));
    info.replaceChildren(...parts);
    $('results').replaceChildren();
    $('results-summary').textContent = '';
    tell(`Esercizio «${title.textContent}» aperto: scrivi il programma e premi «Verifica».`);
    updateButtons();
}

async function verify() {
    if (!exercise || verifying || busy) return;
    verifying = true;
    verifyStopped = false;
    updateButtons();
    // A program still running (or waiting for a word) is stopped first.
    if (mode === 'run') await stopRun();
    // The verdicts of the last verification go: none is read as this one's.
    $('results').replaceChildren();
    $('results-summary').textContent = '';
    say('Verifico il programma con i casi dell\'esercizio…');
    try {
        const reply = await client.request('verify', { source: editor.text(), name: nameInput.value || defaultName });
        if (!reply.ok) {
            say(reply.error);
            return;
        }
        if (reply.failed) {
            showDiagnostics(reply);
            $('results').replaceChildren();
            $('results-summary').textContent = '';
            say(failedText);
            return;
        }
        $('results').replaceChildren(
            ...reply.results.map((result) => {
                const li = document.createElement('li');
                li.className = result.passed ? 'passed' : 'failed';
                const verdict = document.createElement('span');
                verdict.textContent = `${result.passed ? 'superato' : 'non superato'} ${result.name}`;
                li.append(verdict);
                if (!result.passed && result.details) {
                    const details = document.createElement('pre');
                    details.textContent = result.details;
                    li.append(details);
                }
                return li;
            }),
        );
        const passed = reply.results.filter((r) => r.passed).length;
        const visible = reply.results.reduce((sum, r) => sum + (r.maxPoints ?? 0), 0);
        let summary = `Punti: ${formatPoints(reply.points)} su ${formatPoints(visible)}. Casi superati: ${passed} su ${reply.results.length}.`;
        if (reply.hidden > 0) {
            summary += reply.hidden === 1 ? ' 1 caso nascosto non è stato eseguito.' : ` ${reply.hidden} casi nascosti non sono stati eseguiti.`;
        }
        $('results-summary').textContent = summary;
        say(summary);
    } catch (error) {
        if (!(error instanceof WorkerGone)) say(`Errore: ${error.message}`);
        else if (verifyStopped) {
            $('results').replaceChildren();
            $('results-summary').textContent = '';
            say('Verifica fermata: nessun esito. Se un caso non finisce mai, controlla che il programma arrivi a RST.');
        }
    } finally {
        verifying = false;
        verifyStopped = false;
        updateButtons();
    }
}

async function exerciseFromAddress(name, tell) {
    if (inlineEdition()) {
        tell('In questo file unico gli esercizi si aprono con «Apri esercizio».');
        return;
    }
    const address = exerciseAddress(name, location.href);
    if (address.error) {
        tell(`Impossibile aprire l'esercizio «${name}»: ${address.error}.`);
        return;
    }
    let text;
    try {
        const response = await fetch(address.url, { mode: 'same-origin', credentials: 'same-origin' });
        if (!response.ok) throw new Error(response.status === 404 ? 'il file non esiste' : `HTTP ${response.status}`);
        text = await boundedText(response, maxExerciseBytes);
    } catch (error) {
        const reason = error instanceof FileTooLarge ? `è più grande di ${sizeText(maxExerciseBytes)}` : error.message;
        tell(`Impossibile aprire l'esercizio «${name}»: ${reason}.`);
        return;
    }
    await loadExercise(text, decodeURIComponent(new URL(address.url).pathname.replace(/^.*\//, '')), tell);
}

// ------------------------------------------------------------------ files

// The text of a file the student chose, or null (the reason already said).
async function readChosenFile(file, limit, what) {
    if (file.size > limit) {
        say(`Il file «${visibleName(file.name)}» è troppo grande per ${what}: al massimo ${sizeText(limit)}.`);
        return null;
    }
    try {
        return await file.text();
    } catch (error) {
        say(`Impossibile leggere il file «${visibleName(file.name)}»: ${error.message}`);
        return null;
    }
}

// ---------------------------------------------------------------- sharing

async function share() {
    const source = editor.text();
    if (new TextEncoder().encode(source).length > maxSourceBytes) {
        say('Il programma è troppo grande per un link (al massimo 1 MiB).');
        return;
    }
    const page = location.href.replace(/#.*$/, '');
    const made = encodeShare({ source, input: inputBox.value, name: nameInput.value }).then((fragment) => `${page}#${fragment}`);
    // Asked for now, within the click, and done once the link is made.
    const copying = copyWhenReady(made);
    let link;
    try {
        link = await made;
    } catch (error) {
        say(`Impossibile creare il link: ${error.message}`);
        return;
    }
    const box = $('share-link');
    $('share-box').hidden = false;
    box.value = link;
    const copied = await copying;
    say(copied ? 'Link copiato negli appunti: lo trovi anche nella casella «Link da condividere».' : 'Copia il link dalla casella «Link da condividere».');
    box.focus();
    box.select();
}

async function openFragment() {
    let work;
    try {
        work = await decodeShare(location.hash);
    } catch (error) {
        say(`Il link condiviso non è valido: ${error instanceof ShareError ? error.message : 'dati illeggibili'}.`);
        return false;
    }
    if (!work) return false;
    // A new work, saved only once the student edits it.
    if (!works.openLink(work)) return false;
    say(`Aperto il programma «${nameInput.value}.asm» dal link condiviso.`);
    return true;
}

// ------------------------------------------------------------------- help

const helpDialog = $('help-dialog');

// The guide opens at its beginning, its title focused.
function openHelp() {
    if (helpDialog.open) return;
    helpDialog.showModal();
    helpDialog.scrollTop = 0;
    $('help-title').focus({ preventScroll: true });
}

// ------------------------------------------------------------------- keys

function inTextField(element) {
    return Boolean(element?.closest?.('.cm-editor, input, textarea, select, [contenteditable="true"], dialog'));
}

document.addEventListener('keydown', (event) => {
    if (event.defaultPrevented || event.ctrlKey || event.altKey || event.metaKey || event.isComposing) return;
    if (inTextField(event.target)) return;
    const actions = {
        s: () => debugCommand('step'),
        b: () => debugCommand('back'),
        c: () => debugCommand('continue'),
        r: () => debugCommand('reverse'),
        g: () => debugCommand('restart'),
        k: () => toggleBreakpointAtCursor(),
        w: () => debugCommand('watch', { address: machine.selected }),
        '?': () => openHelp(),
    };
    const action = actions[event.key];
    if (!action) return;
    event.preventDefault();
    action();
});

consoleElement.addEventListener('keydown', (event) => {
    if (mode !== 'run' || runState !== 'trace') return;
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    if (['Tab', 'Shift', 'Control', 'Alt', 'Meta', 'AltGraph', 'CapsLock'].includes(event.key)) return;
    event.preventDefault();
    event.stopPropagation();
    sendKey();
});

// ---------------------------------------------------------------- wiring

runButton.addEventListener('click', () => runProgram());
stopButton.addEventListener('click', () => stop());
keyButton.addEventListener('click', () => sendKey());
$('step').addEventListener('click', () => debugCommand('step'));
$('back').addEventListener('click', () => debugCommand('back'));
$('continue').addEventListener('click', () => debugCommand('continue'));
$('reverse').addEventListener('click', () => debugCommand('reverse'));
$('restart').addEventListener('click', () => debugCommand('restart'));
$('breakpoint').addEventListener('click', () => toggleBreakpointAtCursor());
$('watch').addEventListener('click', () => debugCommand('watch', { address: machine.selected }));
$('who-wrote').addEventListener('click', () => debugCommand('whoWrote', { address: machine.selected }));
wordInput.addEventListener('keydown', (event) => {
    if (event.key !== 'Enter' || event.isComposing) return;
    event.preventDefault();
    sendWord(false);
});
$('end-input').addEventListener('click', () => sendWord(true));
$('help').addEventListener('click', openHelp);
$('share').addEventListener('click', () => share());
$('save').addEventListener('click', () => {
    const name = programName(nameInput.value);
    download(editor.text(), `${name}.asm`);
    works.downloaded();
    say(`Salvato come «${name}.asm» nella cartella dei download.`);
});

const openFile = $('open-file');
$('open').addEventListener('click', () => openFile.click());
openFile.addEventListener('change', async () => {
    const file = openFile.files?.[0];
    openFile.value = '';
    if (!file) return;
    const text = await readChosenFile(file, maxSourceFileBytes, 'un programma');
    if (text === null) return;
    if (!works.openFile({ source: text, name: file.name, input: inputBox.value })) return;
    say(`Aperto «${visibleName(file.name)}».`);
});

const exerciseFile = $('exercise-file');
$('open-exercise').addEventListener('click', () => exerciseFile.click());
exerciseFile.addEventListener('change', async () => {
    const file = exerciseFile.files?.[0];
    exerciseFile.value = '';
    if (!file) return;
    const text = await readChosenFile(file, maxExerciseBytes, 'un esercizio');
    if (text !== null) await loadExercise(text, file.name);
});
$('verify').addEventListener('click', () => verify());

const examplesMenu = $('examples');
examples.forEach((example) => {
    const option = document.createElement('option');
    option.value = example.name;
    option.textContent = `${example.name}.asm`;
    examplesMenu.append(option);
});
examplesMenu.addEventListener('change', () => {
    const example = examples.find((e) => e.name === examplesMenu.value);
    if (!example) return;
    // Back to the prompt, so that the same example can be chosen again.
    examplesMenu.value = '';
    works.openExample(example);
});
$('new-work').addEventListener('click', () => works.newWork());
$('my-works').addEventListener('click', () => works.showList());

nameInput.addEventListener('change', () => {
    nameInput.value = programName(nameInput.value);
    workChanged(true);
});
nameInput.addEventListener('input', () => {
    // Controls and bidirectional marks never enter a name, even typed.
    const shown = visibleName(nameInput.value);
    if (shown !== nameInput.value) {
        const caret = visibleName(nameInput.value.slice(0, nameInput.selectionStart ?? 0)).length;
        nameInput.value = shown;
        nameInput.setSelectionRange(caret, caret);
    }
    workChanged(true);
});
inputBox.addEventListener('input', () => workChanged(true));
addEventListener('hashchange', () => openFragment());

// ---------------------------------------------------------------- start-up

async function start() {
    updateButtons();
    machine.show(null);
    const fromLink = location.hash.startsWith('#c=') && (await openFragment());
    if (!fromLink) await works.restore();
    try {
        const words = await client.start();
        editor.setWords(words);
        machine.setNumbers(words.numbers);
    } catch (error) {
        say(`Impossibile avviare il simulatore: ${error.message}`);
        return;
    }
    const wanted = new URLSearchParams(location.search).get('esercizio');
    // Added to what the page said of the work it opened (a link, a copy).
    if (wanted !== null) await exerciseFromAddress(wanted, (...lines) => lines.forEach(add));
    document.body.dataset.ready = 'true';
}

start();
