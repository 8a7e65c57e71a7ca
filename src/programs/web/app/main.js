// The page of the browser edition, wired together: the editor, the work it
// shows and the saved works (work.js, works.js), links (share.js), running
// as tarnsim does (running.js), the debugger's session (session.js),
// exercises (exercises.js) and what the page says (messages.js); the cycle
// made visible (cycle.js, processor.js, explanation.js, animation.js,
// history-slider.js). All the
// machine's work is done by the worker (worker/worker.js) with the wasm
// module, through worker-client.js; each module owns its state, and this
// file only connects them to one another, to the buttons and to the keys.
import examples from 'tarnweb-examples';
import { Animation } from './animation.js';
import { Cycle } from './cycle.js';
import { createEditor } from './editor.js';
import { ExplanationView } from './explanation.js';
import { HistorySlider } from './history-slider.js';
import { ProcessorView } from './processor.js';
import { Exercises } from './exercises.js';
import { MachineView } from './machine-view.js';
import { MemoryCells } from './memory-cells.js';
import { Messages } from './messages.js';
import { InstructionReference } from './reference.js';
import { Running } from './running.js';
import { Session } from './session.js';
import { Links } from './share.js';
import { TextView } from './text-view.js';
import { Work } from './work.js';
import { WordBox } from './word-box.js';
import { WorkerClient } from './worker-client.js';
import './offline.js';

const $ = (id) => document.getElementById(id);
// How long the worker has to answer "stop" before it is replaced.
const stopTimeout = 300;

const messages = new Messages({ element: $('messages'), diagnostics: $('diagnostics'), note: () => work.works.unsavedNote });

const client = new WorkerClient({
    onEvent: (event) => (event?.event === 'continue' ? session.progress(event) : running.event(event)),
    onRestart: workerReplaced,
});

// Stops the worker's job: true when the worker answered, false when it was
// replaced.
const stopWorker = () =>
    client.stopOrReplace(stopTimeout).catch((error) => {
        messages.say(`Impossibile riavviare il simulatore: ${error.message}`);
        return false;
    });

const outputView = new TextView($('output'));
const consoleView = new TextView($('console'));
const consoleElement = $('console');
const wordBox = new WordBox({ box: $('word-box'), input: $('word'), console: consoleElement });

const machine = new MachineView({
    registers: { PC: $('reg-PC'), IR: $('reg-IR'), A: $('reg-A'), B: $('reg-B'), X: $('reg-X') },
    registersHex: { PC: $('hex-PC'), IR: $('hex-IR'), A: $('hex-A'), B: $('hex-B'), X: $('hex-X') },
    flags: $('flags'),
    table: $('memory'),
    characters: $('memory-characters'),
    info: $('cell-info'),
});

// -------------------------------- what the program made of memory; the reference

// The label and the role of each byte of «Memoria», from each assembly.
const memoryCells = new MemoryCells({ machine, owner: $('cell-owner') });
// The table of instructions in «Aiuto», and a mnemonic's row in the editor.
const reference = new InstructionReference({ table: $('instruction-reference'), status: $('instruction-status') });

// ----------------------------------------------------------------- editor

const editor = createEditor({
    parent: $('editor'),
    diagnose,
    onChange: sourceChanged,
    onBreakpoint: (line) => session.breakpointToggled(line),
    extensions: reference.editorExtension(),
});

async function diagnose(source) {
    const reply = await client.assemble(source);
    if (!reply.ok) throw new Error(reply.error);
    if (source !== editor.text()) return [];
    messages.showDiagnostics(reply);
    if (!reply.failed) memoryCells.setProgram(reply.cells);
    // Not over the machine a run of this same source left.
    if (!running.active && !session.open && !reply.failed && reply.image && !running.leftMachineOf(source)) machine.showImage(reply.image);
    const length = source.length;
    return reply.diagnostics.map((d) => {
        const from = Math.max(0, Math.min(d.from, length));
        const to = Math.max(from, Math.min(Math.max(d.to, d.from + 1), length));
        return { from, to, severity: d.severity === 'errore' ? 'error' : 'warning', message: d.message };
    });
}

function sourceChanged(update) {
    running.sourceChanged();
    const typed = work.typed(update);
    session.end('Hai modificato il sorgente: la sessione di debug è finita.');
    work.changed(typed);
}

// --------------------------------------------------------------- modules

const work = new Work({
    editor,
    examples,
    messages,
    // A program still running belongs to the work that goes: it stops
    // without a word, its last events ignored.
    beforeLoad: () => {
        session.end('');
        running.abandon();
    },
    elements: {
        name: $('file-name'),
        input: $('input'),
        dialog: $('works-dialog'),
        open: $('open'),
        openFile: $('open-file'),
        save: $('save'),
        examples: $('examples'),
        newWork: $('new-work'),
        myWorks: $('my-works'),
    },
});

const links = new Links({ work, messages, box: $('share-link'), field: $('share-box') });

const runButton = $('run');
const stopButton = $('stop');
const keyButton = $('key');

const running = new Running({
    client,
    messages,
    editor,
    machine,
    outputView,
    consoleView,
    consoleElement,
    wordBox,
    work: () => work.read(),
    stopWorker,
    beforeRun: () => session.end(''),
    sessionOpen: () => session.open,
    onChange: updateButtons,
    focusKeepers: [runButton, keyButton],
});

const session = new Session({
    client,
    messages,
    editor,
    machine,
    outputView,
    consoleView,
    wordBox,
    work: () => work.read(),
    stopRun: () => running.stop(),
    stopWorker,
    blocked: () => exercises.verifying,
    onChange: updateButtons,
});

const exercises = new Exercises({
    client,
    messages,
    work: () => work.read(),
    stopRun: () => running.stop(),
    stopWorker,
    blocked: () => session.busy !== null,
    onChange: updateButtons,
    numbers: () => machine.numbers,
    elements: {
        info: $('exercise-info'),
        results: $('results'),
        summary: $('results-summary'),
        open: $('open-exercise'),
        file: $('exercise-file'),
        menu: $('exercise-menu'),
    },
});

// ------------------------------------------------------------ the cycle

const cycle = new Cycle({
    client,
    session,
    machine,
    processor: new ProcessorView({ container: $('processor'), description: $('processor-text') }),
    explanation: new ExplanationView({ element: $('explanation') }),
});

const animation = new Animation({ session, messages, speed: $('speed'), onChange: updateButtons });

const historySlider = new HistorySlider({ session, slider: $('history'), disabled: () => animation.going || running.going || exercises.verifying });

// ---------------------------------------------------------- end of the cycle

function workerReplaced(info) {
    session.workerReplaced();
    machine.setNumbers(info?.numbers);
    exercises.workerReplaced();
    updateButtons();
}

// ---------------------------------------------------------------- buttons

const debugButtons = ['step', 'back', 'continue', 'reverse', 'restart', 'breakpoint', 'watch', 'who-wrote', 'phase', 'animate'].map($);
const verifyButton = $('verify');

// One thing at a time: while a verification runs, nothing else starts, and
// Verifica waits for the debugger's command (a run it stops first).
function updateButtons() {
    const busy = session.busy !== null || animation.going;
    const { verifying } = exercises;
    stopButton.disabled = !(running.going || verifying || session.interruptible || animation.going);
    runButton.disabled = running.going || busy || verifying;
    keyButton.disabled = !running.waitingForKey;
    for (const button of debugButtons) button.disabled = busy || verifying;
    verifyButton.disabled = !exercises.open || verifying || busy;
    historySlider.update();
}

// «Ferma»: the run, the verification or the session's command, whichever
// goes on.
async function stop() {
    session.countStop();
    if (animation.going) animation.stop();
    else if (running.active) await running.stopByStudent();
    else if (exercises.verifying) await exercises.stop();
    else await session.stop();
}

// A word given in «Parola», or the end of the input.
function answer(end) {
    if (running.waitingForWord) running.answer(end);
    else if (session.open) session.answer(end);
}

const helpDialog = $('help-dialog');

// The guide opens at its beginning, its title focused.
function openHelp() {
    if (helpDialog.open) return;
    helpDialog.showModal();
    helpDialog.scrollTop = 0;
    $('help-title').focus({ preventScroll: true });
}

// The debugger's commands, by button and by key.
const commands = {
    step: { key: 's', run: () => session.step() },
    back: { key: 'b', run: () => cycle.back() },
    continue: { key: 'c', run: () => session.continue() },
    reverse: { key: 'r', run: () => session.reverse() },
    restart: { key: 'g', run: () => session.restart() },
    breakpoint: { key: 'k', run: () => session.toggleBreakpointAtCursor() },
    watch: { key: 'w', run: () => session.watch(machine.selected) },
    'who-wrote': { run: () => session.whoWrote(machine.selected) },
    phase: { key: 'f', run: () => cycle.phase(exercises.verifying || animation.going) },
    animate: { run: () => animation.start() },
};

runButton.addEventListener('click', () => running.start());
stopButton.addEventListener('click', () => stop());
keyButton.addEventListener('click', () => running.key());
for (const [id, command] of Object.entries(commands)) $(id).addEventListener('click', () => command.run());
$('word').addEventListener('keydown', (event) => {
    if (event.key !== 'Enter' || event.isComposing) return;
    event.preventDefault();
    answer(false);
});
$('end-input').addEventListener('click', () => answer(true));
verifyButton.addEventListener('click', () => exercises.verify());
$('help').addEventListener('click', openHelp);
$('share').addEventListener('click', () => links.share());
addEventListener('hashchange', () => links.open());

// ------------------------------------------------------------------- keys

function inTextField(element) {
    return Boolean(element?.closest?.('.cm-editor, input, textarea, select, [contenteditable="true"], dialog'));
}

const keyActions = { '?': openHelp };
for (const command of Object.values(commands)) if (command.key) keyActions[command.key] = command.run;

document.addEventListener('keydown', (event) => {
    if (event.defaultPrevented || event.ctrlKey || event.altKey || event.metaKey || event.isComposing) return;
    if (inTextField(event.target)) return;
    const action = keyActions[event.key];
    if (!action) return;
    event.preventDefault();
    action();
});

consoleElement.addEventListener('keydown', (event) => {
    if (!running.waitingForKey) return;
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    if (['Tab', 'Shift', 'Control', 'Alt', 'Meta', 'AltGraph', 'CapsLock'].includes(event.key)) return;
    event.preventDefault();
    event.stopPropagation();
    running.key();
});

// ---------------------------------------------------------------- start-up

async function start() {
    updateButtons();
    machine.show(null);
    const fromLink = location.hash.startsWith('#c=') && (await links.open());
    if (!fromLink) await work.works.restore();
    try {
        const words = await client.start();
        reference.setRows(words.reference, words.numbers);
        editor.setWords(words);
        machine.setNumbers(words.numbers);
        memoryCells.tell();
    } catch (error) {
        messages.say(`Impossibile avviare il simulatore: ${error.message}`);
        return;
    }
    await exercises.listPublished();
    const wanted = new URLSearchParams(location.search).get('esercizio');
    // Added to what the page said of the work it opened (a link, a copy).
    if (wanted !== null) await exercises.loadFromAddress(wanted, (...lines) => lines.forEach(messages.add));
    document.body.dataset.ready = 'true';
}

start();
