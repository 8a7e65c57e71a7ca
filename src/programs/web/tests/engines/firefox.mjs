// Debian's Firefox ESR through puppeteer-core over WebDriver BiDi, headless,
// on a fresh profile whose preferences keep it off the network (no updates,
// studies, telemetry, remote settings, connectivity or captive-portal
// checks, DNS over HTTPS, prefetching) and save downloads into a folder of
// ours without asking. The clipboard is left as a user has it: it is read
// back by a paste. HOME and
// the XDG folders point into that folder too, which is also what lets
// Firefox run as root. puppeteer-core never downloads a browser: it is given
// TARNSIM_FIREFOX (default /usr/bin/firefox-esr).
import { existsSync, mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { tempFolder } from '../harness.mjs';
import { pasteBox, takeDownload, waitTimeout } from './engines.mjs';

export const firefoxPath = process.env.TARNSIM_FIREFOX || '/usr/bin/firefox-esr';

export function missing() {
    return existsSync(firefoxPath) ? '' : `Firefox non trovato in ${firefoxPath} (pacchetto firefox-esr; scripts/setup --ci lo installa)`;
}

const offline = 'data:,#offline';

function preferences(downloads) {
    return {
        // Nothing reaches out at start or later.
        'app.normandy.enabled': false,
        'app.shield.optoutstudies.enabled': false,
        'app.update.auto': false,
        'app.update.enabled': false,
        'browser.aboutwelcome.enabled': false,
        'browser.newtabpage.activity-stream.feeds.section.topstories': false,
        'browser.newtabpage.activity-stream.feeds.snippets': false,
        'browser.newtabpage.activity-stream.default.sites': '',
        'browser.ping-centre.telemetry': false,
        'browser.region.network.url': '',
        'browser.region.update.enabled': false,
        'browser.safebrowsing.provider.google4.updateURL': '',
        'browser.safebrowsing.provider.mozilla.updateURL': '',
        'browser.topsites.contile.enabled': false,
        'dom.push.connection.enabled': false,
        'dom.push.serverURL': '',
        'extensions.blocklist.enabled': false,
        'extensions.systemAddon.update.enabled': false,
        'identity.fxaccounts.enabled': false,
        'media.gmp-manager.url': '',
        'messaging-system.rsexperimentloader.enabled': false,
        'network.captive-portal-service.enabled': false,
        'network.connectivity-service.enabled': false,
        'network.dns.disablePrefetch': true,
        'network.predictor.enabled': false,
        'network.prefetch-next': false,
        'network.proxy.type': 0,
        'network.trr.mode': 5,
        'services.settings.server': offline,
        'toolkit.telemetry.archive.enabled': false,
        'toolkit.telemetry.enabled': false,
        'toolkit.telemetry.server': offline,
        'toolkit.telemetry.unified': false,
        // Downloads saved into our folder, without a dialog.
        'browser.download.dir': downloads,
        'browser.download.folderList': 2,
        'browser.download.useDownloadDir': true,
        'browser.download.always_ask_before_handling_new_types': false,
        'browser.download.start_downloads_in_tmp_dir': false,
        'browser.download.alwaysOpenPanel': false,
    };
}

export async function open() {
    const { default: puppeteer } = await import('puppeteer-core');
    const own = tempFolder({ prefix: 'tarnweb-firefox-' });
    const downloads = join(own.path, 'scaricati');
    mkdirSync(downloads);
    const env = {
        ...process.env,
        HOME: own.path,
        TMPDIR: own.path,
        XDG_CONFIG_HOME: join(own.path, 'config'),
        XDG_CACHE_HOME: join(own.path, 'cache'),
        XDG_DATA_HOME: join(own.path, 'data'),
        XDG_RUNTIME_DIR: own.path,
        MOZ_CRASHREPORTER_DISABLE: '1',
        // Without it a release build ignores services.settings.server.
        MOZ_REMOTE_SETTINGS_DEVTOOLS: '1',
    };
    let browser;
    try {
        browser = await puppeteer.launch({
            browser: 'firefox',
            protocol: 'webDriverBiDi',
            executablePath: firefoxPath,
            headless: true,
            userDataDir: join(own.path, 'profilo'),
            extraPrefsFirefox: preferences(downloads),
            env,
            timeout: waitTimeout,
        });
    } catch (error) {
        own.remove();
        throw error;
    }
    const page = (await browser.pages())[0] ?? (await browser.newPage());
    page.setDefaultTimeout(waitTimeout);
    return {
        name: 'Firefox',
        async goto(url) {
            await page.goto('about:blank');
            await page.goto(url);
        },
        click: (selector) => page.locator(selector).click(),
        async fill(selector, text) {
            await page.locator(selector).click();
            await page.keyboard.down('Control');
            await page.keyboard.press('a');
            await page.keyboard.up('Control');
            await page.keyboard.press('Delete');
            await page.keyboard.type(text);
        },
        async choose(selector, value) {
            await page.select(selector, value);
        },
        press: (key) => page.keyboard.press(key),
        text: (selector) => page.$eval(selector, (e) => e.textContent),
        value: (selector) => page.$eval(selector, (e) => e.value),
        evaluate: (fn, arg) => page.evaluate(fn, arg),
        async waitFor(fn, arg) {
            await page.waitForFunction(fn, { polling: 50 }, arg);
        },
        async clipboard() {
            await page.evaluate(pasteBox.open);
            await page.keyboard.down('Control');
            await page.keyboard.press('v');
            await page.keyboard.up('Control');
            return page.evaluate(pasteBox.take);
        },
        async download(action) {
            await action();
            return takeDownload(downloads);
        },
        async close() {
            try {
                await browser.close();
            } finally {
                own.remove();
            }
        },
    };
}
