// The browser edition's worker: the machine, the assembler, the debugger and
// the grader run here, away from the page, in the wasm module the page hands
// over in "init". The requests and their replies are in protocol.js.
import createTarnweb from 'tarnweb-glue';
import { createProtocol } from './protocol.js';

// Runs a function after the messages already waiting: a message to itself,
// which, unlike a timer, is never held back.
const channel = new MessageChannel();
const queued = [];
channel.port1.onmessage = () => {
    const next = queued.shift();
    if (next) next();
};
const schedule = (fn) => {
    queued.push(fn);
    channel.port2.postMessage(0);
};

const handle = createProtocol({
    createModule: createTarnweb,
    post: (message, transfer = []) => self.postMessage(message, transfer),
    schedule,
});

self.onmessage = (event) => handle(event.data);
