// A <pre> that text is added to as it comes: bytes decoded as UTF-8 across
// chunks, at most `limit` characters shown and then a note, the additions of
// one frame written at once and the view kept at the bottom. A run's worker
// sends only the first MiB of each stream and then says it cut it (cutHere).

export const shownLimit = 1024 * 1024;
export const cutNote = '\n[… il resto è stato tralasciato: qui si vede solo il primo MiB]\n';

export class TextView {
    constructor(element, { limit = shownLimit, schedule = (f) => requestAnimationFrame(f) } = {}) {
        this.element = element;
        this.limit = limit;
        this.schedule = schedule;
        this.clear();
    }

    clear() {
        this.decoder = new TextDecoder('utf-8');
        this.length = 0;
        this.cut = false;
        this.queued = '';
        this.node = document.createTextNode('');
        this.element.replaceChildren(this.node);
    }

    // What the view holds, pending additions included.
    text() {
        return this.node.data + this.queued;
    }

    addBytes(bytes) {
        if (bytes && bytes.length) this.addText(this.decoder.decode(bytes, { stream: true }));
    }

    // The end of the stream: a sequence left incomplete shows as U+FFFD,
    // and everything is on the page at once.
    flush() {
        this.addText(this.decoder.decode());
        this.decoder = new TextDecoder('utf-8');
        this.render();
    }

    // The stream goes on, but no more of it is shown: the note says so. A
    // character the cut splits is left out with the rest.
    cutHere() {
        if (this.cut) return;
        this.decoder = new TextDecoder('utf-8');
        this.addText(cutNote);
        this.cut = true;
    }

    addText(text) {
        if (!text || this.cut) return;
        const room = this.limit - this.length;
        if (text.length > room) {
            text = text.slice(0, room) + cutNote;
            this.cut = true;
        }
        this.length += text.length;
        const first = this.queued === '';
        this.queued += text;
        if (first) this.schedule(() => this.render());
    }

    // Replaces the whole text (the debugger's output is given whole).
    setText(text, cut = false) {
        this.clear();
        if (text.length > this.limit) {
            text = text.slice(0, this.limit);
            cut = true;
        }
        this.node.data = cut ? text + cutNote : text;
        this.length = this.node.data.length;
        this.cut = cut;
    }

    render() {
        if (this.queued === '') return;
        const atBottom = this.element.scrollTop + this.element.clientHeight >= this.element.scrollHeight - 4;
        this.node.appendData(this.queued);
        this.queued = '';
        if (atBottom) this.element.scrollTop = this.element.scrollHeight;
    }
}
