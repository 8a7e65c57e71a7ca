// Exercises: one opened from a file («Apri esercizio»), from the menu
// «Esercizi» of those published beside the page or named by the page's
// address (?esercizio=), its statement and cases shown, and «Verifica»,
// which grades the editor's program with them in the worker.
import { CaseDetails, statementElement } from './exercise-view.js';
import { FileTooLarge, boundedText, defaultName, exerciseAddress, maxExerciseBytes, sizeText, whenFileChosen } from './files.js';
import { failedText, paragraph } from './messages.js';
import { WorkerGone, inlineEdition } from './worker-client.js';

const formatPoints = (n) => (Number.isInteger(n) ? String(n) : String(Math.round(n * 100) / 100).replace('.', ','));
const pointsText = (n) => (n === 1 ? '1 punto' : `${formatPoints(n)} punti`);

// The list of the exercises published beside the page, which the build
// writes, and the most of it that is read.
const publishedList = 'esercizi/indice.json';
const maxListBytes = 1024 * 1024;
const maxListed = 1000;

export class Exercises {
    // work() gives { source, name }; stopRun() stops a run before grading;
    // stopWorker() stops the worker (see WorkerClient.stopOrReplace);
    // blocked() tells whether something else (a debugger command) holds the
    // worker; onChange() follows `open` and `verifying`; numbers() gives the
    // module's texts of the 256 values. elements: info, results and summary
    // (where the exercise and the verdicts show), the button «Apri
    // esercizio» and its file input, and the menu «Esercizi».
    constructor({ client, messages, work, stopRun, stopWorker, blocked, onChange, numbers = () => null, elements }) {
        Object.assign(this, { client, messages, work, stopRun, stopWorker, blocked, onChange });
        this.details = new CaseDetails(numbers);
        this.menu = elements.menu;
        this.info = elements.info;
        this.results = elements.results;
        this.summary = elements.summary;
        // The exercise open: { text, name }, or null.
        this.exercise = null;
        // A verification in flight, and whether "Ferma" gave it up.
        this.verifying = false;
        this.verifyStopped = false;
        whenFileChosen(elements.open, elements.file, { limit: maxExerciseBytes, what: 'un esercizio', say: messages.say }, (text, name) =>
            this.load(text, name),
        );
        this.menu?.addEventListener('change', async () => {
            const file = this.menu.value;
            this.menu.value = '';
            if (file) await this.loadFromAddress(`esercizi/${file}`, messages.say);
        });
    }

    // The menu «Esercizi»: the exercises listed beside the page, by title.
    // Without a list (the single file, a folder that has none) it stays
    // hidden.
    async listPublished() {
        if (!this.menu || inlineEdition()) return;
        let list;
        try {
            const response = await fetch(publishedList, { mode: 'same-origin', credentials: 'same-origin' });
            if (!response.ok) return;
            list = JSON.parse(await boundedText(response, maxListBytes));
        } catch {
            return;
        }
        if (!Array.isArray(list)) return;
        const entries = list
            .filter((e) => typeof e?.file === 'string' && typeof e.title === 'string' && e.file !== '' && !e.file.includes('/'))
            .slice(0, maxListed);
        if (entries.length === 0) return;
        for (const { file, title } of entries) {
            const option = document.createElement('option');
            option.value = file;
            option.textContent = title || file;
            this.menu.append(option);
        }
        this.menu.closest('[hidden]')?.removeAttribute('hidden');
    }

    get open() {
        return this.exercise !== null;
    }

    // A fresh worker is given the exercise again.
    workerReplaced() {
        if (this.exercise) this.client.exercise(this.exercise.text, this.exercise.name).catch(() => {});
    }

    clearResults() {
        this.results.replaceChildren();
        this.summary.textContent = '';
    }

    // An exercise's text, from a file or the address; `tell` says how it
    // went (at start-up, after what the page has said of the work it shows).
    async load(text, name, tell = this.messages.say) {
        let reply;
        try {
            reply = await this.client.exercise(text, name);
        } catch (error) {
            tell(`Impossibile leggere l'esercizio: ${error.message}`);
            return;
        }
        if (!reply.ok) {
            tell(...reply.error.split('\n'));
            return;
        }
        this.exercise = { text, name };
        const title = document.createElement('p');
        title.className = 'exercise-title';
        title.textContent = reply.title || name;
        const list = document.createElement('ul');
        list.className = 'cases';
        for (const item of reply.cases) {
            const li = document.createElement('li');
            const name = document.createElement('span');
            name.className = 'case-name';
            name.textContent = `${item.name} (${pointsText(item.points)}${item.hidden ? ', nascosto' : ''})`;
            li.append(name);
            const details = this.details.element(item);
            if (details) li.append(details);
            list.append(li);
        }
        const statement = statementElement(reply.statement);
        const parts = statement ? [title, statement, list] : [title, list];
        const hidden = typeof reply.hidden === 'number' ? reply.hidden : reply.cases.filter((c) => c.hidden).length;
        if (hidden > 0) {
            parts.push(paragraph(hidden === 1 ? 'Più 1 caso nascosto, che prova l\'insegnante.' : `Più ${hidden} casi nascosti, che prova l'insegnante.`));
        }
        parts.push(paragraph(`Totale dell'esercizio: ${pointsText(reply.total)}.`));
        this.info.replaceChildren(...parts);
        this.clearResults();
        tell(`Esercizio «${title.textContent}» aperto: scrivi il programma e premi «Verifica».`);
        this.onChange();
    }

    // The exercise named by ?esercizio=, fetched beside the page.
    async loadFromAddress(name, tell) {
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
        await this.load(text, decodeURIComponent(new URL(address.url).pathname.replace(/^.*\//, '')), tell);
    }

    // «Verifica».
    async verify() {
        if (!this.exercise || this.verifying || this.blocked()) return;
        const { messages } = this;
        this.verifying = true;
        this.verifyStopped = false;
        this.onChange();
        // A program still running (or waiting for a word) is stopped first.
        await this.stopRun();
        // The verdicts of the last verification go: none is read as this one's.
        this.clearResults();
        messages.say('Verifico il programma con i casi dell\'esercizio…');
        try {
            const { source, name } = this.work();
            const reply = await this.client.verify({ source, name: name || defaultName });
            if (!reply.ok) {
                messages.say(reply.error);
                return;
            }
            if (reply.failed) {
                messages.showDiagnostics(reply);
                this.clearResults();
                messages.say(failedText);
                return;
            }
            this.showResults(reply);
        } catch (error) {
            if (!(error instanceof WorkerGone)) messages.say(`Errore: ${error.message}`);
            else if (this.verifyStopped) {
                this.clearResults();
                messages.say('Verifica fermata: nessun esito. Se un caso non finisce mai, controlla che il programma arrivi a RST.');
            }
        } finally {
            this.verifying = false;
            this.verifyStopped = false;
            this.onChange();
        }
    }

    showResults(reply) {
        this.results.replaceChildren(
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
        this.summary.textContent = summary;
        this.messages.say(summary);
    }

    // «Ferma» during a verification: grading runs in one go, so the worker
    // that does it is replaced.
    async stop() {
        this.verifyStopped = true;
        await this.stopWorker();
    }
}
