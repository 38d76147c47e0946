// The web interface driven by a real browser: Debian's chromium, headless, through
// playwright-core. zelkorad runs on a fresh program directory with the web interface enabled on a
// free loopback port; the test logs in, adds a smart-route mapping with two routes, two
// round-robin targets, an allow and a block range, edits it, starts it and relays through it,
// stops it, checks the stored record in config.xml, and deletes it. In between, a page of another
// site (another loopback port) tries to delete, start and add mappings through the browser's
// cached credentials, and changes nothing.
//
// Usage: node web_browser_test.mjs ZELKORAD STAGED_PROGRAM_DIR
// Every connection goes to 127.0.0.0/8; only the processes started here are stopped, by PID.

import { spawn } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { chromium } from "playwright-core";

const CHROMIUM = "/usr/bin/chromium";
const USER = "admin";
const PASSWORD = "s3cret";
const MAPPING = "e2e map"; // a space: links carry it unencoded
const TEST_LIMIT_MS = 180_000;

const [zelkorad, stagedDir] = process.argv.slice(2);
const cleanups = [];
let failed = false;

function check(condition, what) {
    if (!condition) throw new Error(`check failed: ${what}`);
    console.log(`ok - ${what}`);
}

function equal(actual, expected, what) {
    const a = JSON.stringify(actual);
    const e = JSON.stringify(expected);
    if (a !== e) throw new Error(`check failed: ${what}\n  expected ${e}\n  actual   ${a}`);
    console.log(`ok - ${what}`);
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitFor(predicate, what, limitMs = 10_000) {
    const end = Date.now() + limitMs;
    while (Date.now() < end) {
        if (await predicate()) return;
        await sleep(50);
    }
    throw new Error(`timed out waiting for ${what}`);
}

function freePort() {
    return new Promise((resolve, reject) => {
        const server = net.createServer();
        server.once("error", reject);
        server.listen(0, "127.0.0.1", () => {
            const { port } = server.address();
            server.close(() => resolve(port));
        });
    });
}

// A TCP server that answers every chunk with `tag` + ":" + the chunk.
function taggedEcho(tag) {
    return new Promise((resolve) => {
        const sockets = new Set();
        const server = net.createServer((socket) => {
            sockets.add(socket);
            socket.on("data", (data) => socket.write(`${tag}:${data}`));
            socket.on("error", () => {});
            socket.on("close", () => sockets.delete(socket));
        });
        server.listen(0, "127.0.0.1", () => {
            cleanups.push(() => {
                for (const s of sockets) s.destroy();
                server.close();
            });
            resolve(server.address().port);
        });
    });
}

// Connects (from `from` when given), sends `text` and returns the first reply, or "" when the
// connection is closed without one.
function roundTrip(port, text, from) {
    return new Promise((resolve, reject) => {
        const socket = net.connect({ host: "127.0.0.1", port, localAddress: from });
        let reply = "";
        const timer = setTimeout(() => {
            socket.destroy();
            reject(new Error(`no reply from port ${port}`));
        }, 10_000);
        socket.on("connect", () => socket.write(text));
        socket.on("data", (data) => {
            reply += data;
            clearTimeout(timer);
            socket.destroy();
            resolve(reply);
        });
        socket.on("close", () => {
            clearTimeout(timer);
            resolve(reply);
        });
        socket.on("error", () => {});
    });
}

function httpStatusLine(port, target, host = "127.0.0.1") {
    return new Promise((resolve) => {
        const socket = net.connect({ host: "127.0.0.1", port });
        let reply = "";
        socket.on("connect", () => socket.write(`GET ${target} HTTP/1.1\r\nHost: ${host}\r\n\r\n`));
        socket.on("data", (data) => (reply += data));
        socket.on("close", () => resolve(reply.split("\r\n")[0]));
        socket.on("error", () => resolve(""));
    });
}

// Another site on a loopback port: a page with an image pointing at the delete and start links
// and a form posted to newdone as soon as it loads. `sid` is the session id our page carried
// (as if it had leaked); the image links without it are tried as well.
function foreignSite(webPort, sid) {
    const web = `http://127.0.0.1:${webPort}`;
    const name = encodeURIComponent(MAPPING);
    const page =
        "<!DOCTYPE html><html><body>" +
        `<img src="${web}/?name=${name}&action=delete">` +
        `<img src="${web}/?name=${name}&action=start">` +
        `<img src="${web}/?name=${name}&action=delete&sessionid=${sid}">` +
        `<img src="${web}/?name=${name}&action=start&sessionid=${sid}">` +
        `<form id="f" method="post" action="${web}/?action=newdone&sessionid=${sid}">` +
        '<input name="port.name" value="intruder"><input name="port.listen_port" value="1">' +
        '<input name="port.d_ip" value="127.0.0.1"><input name="port.d_port" value="1"></form>' +
        '<script>window.addEventListener("load", () => document.getElementById("f").submit());' +
        "</script></body></html>";
    return new Promise((resolve) => {
        const server = http.createServer((request, response) => {
            response.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
            response.end(page);
        });
        server.listen(0, "127.0.0.1", () => {
            cleanups.push(() => server.close());
            resolve(`http://127.0.0.1:${server.address().port}/`);
        });
    });
}

class Daemon {
    constructor(home) {
        this.home = home;
    }

    start() {
        this.output ??= ""; // kept over restarts: the last check reads all of it
        this.child = spawn(zelkorad, ["--home", this.home], { stdio: ["ignore", "pipe", "pipe"] });
        this.child.stdout.on("data", (d) => (this.output += d));
        this.child.stderr.on("data", (d) => (this.output += d));
        this.exited = new Promise((resolve) => this.child.on("exit", (code) => resolve(code)));
        this.running = true;
        this.exited.then(() => (this.running = false));
    }

    // SIGTERM takes the exit path, which writes config.xml.
    async stop() {
        if (!this.running) return;
        this.child.kill("SIGTERM");
        const code = await Promise.race([this.exited, sleep(10_000).then(() => "timeout")]);
        if (code === "timeout") {
            this.child.kill("SIGKILL");
            throw new Error("zelkorad did not end on SIGTERM");
        }
        equal(code, 0, "zelkorad exits with 0 on SIGTERM");
    }
}

function configXml(port) {
    return (
        '<?xml version="1.0" encoding="ISO-8859-1"?>\r\n' +
        '<mappings auto_startup="0" monitor_router="0" use_ie_setting="0" voice_notify="0" ' +
        `top_window="0" web_listen_port="${port}" protect="1" user_name="${USER}" ` +
        `password="${PASSWORD}" enable_web="1" >\r\n</mappings>\r\n`
    );
}

// The mapping elements of config.xml: attributes and the four lists.
function storedMappings(home) {
    const text = fs.readFileSync(path.join(home, "config.xml"), "latin1");
    const attributes = (s) =>
        Object.fromEntries([...s.matchAll(/(\w+)="([^"]*)"/g)].map((m) => [m[1], m[2]]));
    return [...text.matchAll(/<mapping ([^>]*)>([\s\S]*?)<\/mapping>/g)].map((m) => {
        const list = (name) => {
            const inner = m[2].match(new RegExp(`<${name}>([\\s\\S]*?)</${name}>`));
            return inner ? [...inner[1].matchAll(/<ip ([^>]*)\/>/g)].map((e) => attributes(e[1])) : [];
        };
        return {
            ...attributes(m[1]),
            allow_ip: list("allow_ip"),
            block_ip: list("block_ip"),
            smart_ip_range: list("smart_ip_range"),
            smart_round_robin: list("smart_round_robin"),
        };
    });
}

async function browseRows(page, base) {
    await page.goto(`${base}/`);
    return page.$$eval("table.grid tr", (rows) =>
        rows.slice(1).map((r) => [...r.querySelectorAll("td")].map((td) => td.textContent)),
    );
}

async function clickRowLink(page, base, text) {
    await page.goto(`${base}/`);
    const link = page.locator("table.grid a", { hasText: text });
    equal(await link.count(), 1, `one "${text}" link on the list`);
    await Promise.all([page.waitForLoadState("load"), link.click()]);
}

async function bodyText(page) {
    return (await page.textContent("body")).trim();
}

async function main() {
    if (!zelkorad || !stagedDir) throw new Error("usage: web_browser_test.mjs ZELKORAD PROGRAM_DIR");
    if (!fs.existsSync(CHROMIUM)) {
        throw new Error(`${CHROMIUM} is missing: install Debian's chromium (scripts/bootstrap.sh)`);
    }
    const home = fs.mkdtempSync(path.join(os.tmpdir(), "zk-e2e-home-"));
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "zk-e2e-profile-"));
    cleanups.push(() => fs.rmSync(home, { recursive: true, force: true }));
    cleanups.push(() => fs.rmSync(profile, { recursive: true, force: true }));
    fs.cpSync(path.join(stagedDir, "image"), path.join(home, "image"), { recursive: true });
    fs.mkdirSync(path.join(home, "log"));
    const webPort = await freePort();
    const listenPort = await freePort();
    fs.writeFileSync(path.join(home, "config.xml"), configXml(webPort));
    const targetA = await taggedEcho("A");
    const targetB = await taggedEcho("B");
    const base = `http://127.0.0.1:${webPort}`;

    const daemon = new Daemon(home);
    cleanups.push(() => {
        if (daemon.running) daemon.child.kill("SIGKILL");
    });
    daemon.start();
    await waitFor(async () => (await httpStatusLine(webPort, "/")) !== "", "the web port");
    equal(await httpStatusLine(webPort, "/"), "HTTP/1.1 401 Authorization Required",
          "a request without credentials is challenged");
    equal(await httpStatusLine(webPort, "/", "rebound.example"), "HTTP/1.1 403 Forbidden",
          "a request for another host name is refused");

    // A second zelkorad on another program directory finds the web port taken and says so, on
    // stderr and in its event log.
    const otherHome = fs.mkdtempSync(path.join(os.tmpdir(), "zk-e2e-other-"));
    cleanups.push(() => fs.rmSync(otherHome, { recursive: true, force: true }));
    fs.mkdirSync(path.join(otherHome, "log"));
    fs.writeFileSync(path.join(otherHome, "config.xml"), configXml(webPort));
    const other = new Daemon(otherHome);
    cleanups.push(() => {
        if (other.running) other.child.kill("SIGKILL");
    });
    other.start();
    const listenError = `listen on port ${webPort} error!`;
    await waitFor(async () => other.output.includes(`zelkorad: ${listenError}`), "the listen error");
    const otherLog = fs.readFileSync(path.join(otherHome, "log", "zk-gate.log"), "latin1");
    check(otherLog.includes(`>:${listenError}`), "the listen error is in the event log");
    await other.stop();

    const context = await chromium.launchPersistentContext(profile, {
        executablePath: CHROMIUM,
        headless: true,
        httpCredentials: { username: USER, password: PASSWORD },
        args: [
            "--no-sandbox",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
        ],
    });
    cleanups.push(() => context.close());
    const page = context.pages()[0] ?? (await context.newPage());
    const alerts = [];
    page.on("dialog", async (dialog) => {
        alerts.push(dialog.message());
        await dialog.accept();
    });

    // Log in.
    await page.goto(`${base}/`);
    check((await bodyText(page)).includes(`User Name:${USER}`), "logged in: the user name shows");
    check((await page.title()).startsWith("Zelkora Professional - "), "the page title");
    const css = await page.evaluate(() => getComputedStyle(document.querySelector(".navbar")).textAlign);
    equal(css, "right", "the style sheet is served and applied");

    // Add.
    await page.click("text=Add Port Mapping");
    await page.fill('[name="port.name"]', MAPPING);
    await page.click('input[type="submit"][value="OK"]');
    equal(alerts.pop(), "invalid listen port, please reenter again!",
          "check() refuses a missing listen port with the dialog's message");
    await page.fill('[name="port.listen_port"]', String(listenPort));
    equal(await page.inputValue('[name="port.d_port"]'), String(listenPort),
          "the listen port is copied into the destination port");
    await page.fill('[name="port.d_ip"]', "127.0.0.1");
    await page.fill('[name="port.max_sessions"]', "5");
    await page.check('[name="port.autostartup"]');
    await page.check('[name="port.enable_smart"]');
    equal(await page.inputValue('[name="port.d_ip"]'), "enable smart route",
          "smart route fills the destination");
    const addRoute = async (from, to, ip, port) => {
        await page.fill('[name="port.route_incoming_ip_from"]', from);
        await page.fill('[name="port.route_incoming_ip_to"]', to);
        await page.fill('[name="port.route_incoming_ip_d_ip"]', ip);
        await page.fill('[name="port.route_incoming_ip_d_port"]', String(port));
        await page.click('input[onclick="add_incoming_ip()"]');
    };
    await addRoute("127.0.0.2", "127.0.0.3", "127.0.0.1", targetA);
    await addRoute("127.0.0.4", "", "127.0.0.1", targetB);
    await page.click('[name="port.round_robin"]');
    check(!(await page.isChecked('[name="port.route_incoming_ip"]')),
          "the strategy radios act as one choice");
    for (const port of [targetA, targetB]) {
        await page.fill('[name="port.round_robin_d_ip"]', "127.0.0.1");
        await page.fill('[name="port.round_robin_d_port"]', String(port));
        await page.click('input[onclick="add_round_robin()"]');
    }
    await page.check('[name="port.enable_ip_strategy"]');
    await page.fill('[name="port.allow_ip_from"]', "127.0.0.1");
    await page.fill('[name="port.allow_ip_to"]', "127.0.0.1");
    await page.click('input[onclick="add_allow_ip_range()"]');
    await page.fill('[name="port.block_ip_from"]', "127.0.0.9");
    await page.click('input[onclick="add_block_ip_range()"]');
    equal(alerts, [], "no refusals while filling the lists");
    await Promise.all([page.waitForLoadState("load"), page.click('input[type="submit"][value="OK"]')]);
    check((await bodyText(page)).startsWith(`You have successfully added port mapping ${MAPPING}.`),
          "the mapping is added");

    equal(await browseRows(page, base), [[MAPPING, "TCP", "stop", "0", "5", String(listenPort),
                                          "enable smart route", "0", "Y", "Start/Edit/Delete"]],
          "the list shows the new mapping");

    // Another site tries the links and the form with the browser's cached credentials.
    await page.goto(`${base}/`);
    const sid = await page.$eval('a[href*="action=logout"]', (a) => a.href.split("sessionid=")[1]);
    const foreign = await foreignSite(webPort, sid);
    await Promise.all([
        page.waitForURL((url) => url.port === String(webPort), { timeout: 10_000 }),
        page.goto(foreign),
    ]);
    check((await bodyText(page)).includes("nothing was changed"),
          "the foreign form post is refused with a message");
    equal(await browseRows(page, base), [[MAPPING, "TCP", "stop", "0", "5", String(listenPort),
                                          "enable smart route", "0", "Y", "Start/Edit/Delete"]],
          "another site's page changed nothing");

    // Edit: the form shows what was entered; change the limit and the auto start.
    await clickRowLink(page, base, "Edit/");
    equal(await page.inputValue('[name="port.name"]'), MAPPING, "the edit form shows the name");
    const options = (name) =>
        page.$$eval(`[name="${name}"] option`, (os) => os.slice(1).map((o) => o.value));
    equal(await options("port.route_datas"),
          [`127.0.0.2|127.0.0.3|127.0.0.1|${targetA}`, `127.0.0.4|127.0.0.4|127.0.0.1|${targetB}`],
          "the edit form lists both routes");
    equal(await options("port.round_robin_datas"),
          [`127.0.0.1|${targetA}`, `127.0.0.1|${targetB}`], "and both round-robin targets");
    equal(await options("port.allow_ip_ranges"), ["127.0.0.1|127.0.0.1"], "and the allow range");
    equal(await options("port.block_ip_ranges"), ["127.0.0.9|127.0.0.9"], "and the block range");
    check(await page.isChecked('[name="port.round_robin"]'), "round robin stays chosen");
    await page.fill('[name="port.max_sessions"]', "7");
    await page.uncheck('[name="port.autostartup"]');
    await Promise.all([page.waitForLoadState("load"), page.click('input[type="submit"][value="OK"]')]);
    check((await bodyText(page)).startsWith(`You have successfully edited port mapping ${MAPPING}.`),
          "the mapping is edited");

    // Start, relay, stop.
    await clickRowLink(page, base, "Start/");
    check((await bodyText(page)).startsWith(`You have successfully started port mapping ${MAPPING}.`),
          "the mapping is started");
    await waitFor(async () => (await browseRows(page, base))[0]?.[2] === "running", "running");
    const one = await roundTrip(listenPort, "one");
    const two = await roundTrip(listenPort, "two");
    check(one.endsWith(":one") && two.endsWith(":two"), `it relays (${one}, ${two})`);
    equal([one[0], two[0]].sort(), ["A", "B"], "in turn to both round-robin targets");
    equal(await roundTrip(listenPort, "blocked", "127.0.0.9"), "", "a blocked peer is refused");
    await clickRowLink(page, base, "Stop/");
    check((await bodyText(page)).startsWith(`You have successfully stopped port mapping ${MAPPING}.`),
          "the mapping is stopped");
    equal((await browseRows(page, base))[0][2], "stop", "the list shows it stopped");

    // The stored record is what was entered.
    await daemon.stop();
    const stored = storedMappings(home);
    equal(stored.length, 1, "config.xml holds one mapping");
    const m = stored[0];
    equal(
        [m.name, m.type, m.listen_port_type, m.listen_port, m.destination_ip,
         m.destination_port_type, m.destination_port, m.max_sessions, m.auto_start, m.http_proxy,
         m.enable_smart, m.smart_strategy, m.enable_ip_strategy, m.enable_log],
        [MAPPING, "TCP", "0", String(listenPort), "enable smart route", "0", "0", "7", "N", "N",
         "1", "1", "1", "0"],
        "the stored fields");
    equal(m.smart_ip_range, [
        { start: "127.0.0.2", end: "127.0.0.3", d_ip: "127.0.0.1", d_port: String(targetA) },
        { start: "127.0.0.4", end: "127.0.0.4", d_ip: "127.0.0.1", d_port: String(targetB) },
    ], "the stored routes");
    equal(m.smart_round_robin, [
        { d_ip: "127.0.0.1", d_port: String(targetA) },
        { d_ip: "127.0.0.1", d_port: String(targetB) },
    ], "the stored round-robin targets");
    equal(m.allow_ip, [{ start: "127.0.0.1", end: "127.0.0.1" }], "the stored allow range");
    equal(m.block_ip, [{ start: "127.0.0.9", end: "127.0.0.9" }], "the stored block range");

    // Delete, after a restart that reads the record back.
    daemon.start();
    await waitFor(async () => (await httpStatusLine(webPort, "/")) !== "", "the web port again");
    await clickRowLink(page, base, "Delete");
    equal(alerts.pop(), "do you want to delete this?", "delete asks first");
    check((await bodyText(page)).startsWith(`You have successfully deleted port mapping ${MAPPING}.`),
          "the mapping is deleted");
    equal(await browseRows(page, base), [], "the list is empty");
    await page.click("text=Logout");
    check((await bodyText(page)).startsWith("You have successfully logout form Zelkora Professional"),
          "logout");
    await daemon.stop();
    equal(storedMappings(home).length, 0, "config.xml holds no mapping");
    if (/error/i.test(daemon.output)) throw new Error(`zelkorad reported:\n${daemon.output}`);
}

const limit = setTimeout(() => {
    console.error("web browser test: time limit reached");
    process.exit(1);
}, TEST_LIMIT_MS);

try {
    await main();
    console.log("web browser test: passed");
} catch (error) {
    failed = true;
    console.error(`web browser test: ${error.stack ?? error}`);
} finally {
    for (const cleanup of cleanups.reverse()) {
        try {
            await cleanup();
        } catch {
            // keep cleaning up
        }
    }
    clearTimeout(limit);
}
process.exit(failed ? 1 : 0);
