// Drives the web page in Debian's chromium (headless), served by web/serve.mjs
// with the cross-origin isolation headers (the threaded engine) and without
// (the single-threaded one):
//   node web/test/browser-test.mjs SITE_FOLDER SCREENSHOT.png
// In each: no console errors, the engine names itself, a game of ten moves
// (one dragged, the rest clicked) against it, an analysis with two lines that
// is stopped, take back, flip and new game.
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';
import { serve } from '../serve.mjs';

const site = resolve(process.argv[2] || 'build-web/site');
const screenshot = resolve(process.argv[3] || 'build/web-screenshot.png');
const { Chess } = await import(pathToFileURL(join(site, 'vendor/chess.js')).href);
const MOVES = 10;
const VALUES = { p: 1, n: 3, b: 3, r: 5, q: 9, k: 0 };

function check(condition, message) {
  if (!condition) throw new Error(message);
}

// The tester's move: never one that allows mate in one; the best capture by
// value, else a fixed pseudo-random pick, so that the game is repeatable.
function chooseMove(fen, ply) {
  const safe = new Chess(fen).moves({ verbose: true }).filter((move) => {
    const board = new Chess(fen);
    board.move(move);
    return !board.moves({ verbose: true }).some((reply) => {
      board.move(reply);
      const mate = board.isCheckmate();
      board.undo();
      return mate;
    });
  });
  check(safe.length > 0, `no safe move in ${fen}`);
  const captures = safe.filter((move) => move.captured && VALUES[move.captured] >= VALUES[move.piece]);
  if (captures.length) return captures.sort((a, b) => VALUES[b.captured] - VALUES[a.captured])[0];
  return safe[(ply * 7919 + 13) % safe.length];
}

async function run(isolated) {
  const server = await serve(site, { isolated });
  const profile = mkdtempSync(join(tmpdir(), 'kestrune-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const errors = [];
  const name = isolated ? 'isolated' : 'not isolated';
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1100, height: 720 });
    page.on('console', (message) => {
      if (message.type() === 'error') errors.push(`${message.text()} (${message.location().url || 'page'})`);
    });
    page.on('pageerror', (error) => errors.push(String(error)));
    page.on('requestfailed', (request) => errors.push(`request failed: ${request.url()}`));
    await page.goto(`http://127.0.0.1:${server.address().port}/`);

    await page.waitForSelector('body[data-engine="ready"]', { timeout: 60000 });
    const identity = await page.$eval('#engine-name', (element) => element.textContent);
    check(identity.startsWith('kestrune '), `engine name: ${identity}`);
    check((await page.evaluate(() => crossOriginIsolated)) === isolated, 'crossOriginIsolated');
    const flavour = await page.$eval('#flavour', (element) => element.textContent);
    check(flavour.startsWith(isolated ? 'threads' : 'single'), `flavour: ${flavour}`);
    console.log(`${name}: the engine says "${identity}", ${flavour}`);

    await page.select('#level', 'nodes 300');
    for (let move = 0; move < MOVES; move++) {
      await page.waitForFunction(
        (plies) => document.body.dataset.plies === String(plies) &&
          document.getElementById('status').textContent === 'your move',
        { timeout: 60000 }, 2 * move);
      const fen = await page.evaluate(() => window.kestrune.fen());
      const chosen = chooseMove(fen, move);
      // The board is redrawn on every press: squares are looked up afresh.
      const from = `[data-square="${chosen.from}"]`;
      const to = `[data-square="${chosen.to}"]`;
      if (move === 0) {
        // Dragged: pointer down on the piece, a few steps, released over the target.
        const a = await (await page.$(from)).boundingBox();
        const b = await (await page.$(to)).boundingBox();
        await page.mouse.move(a.x + a.width / 2, a.y + a.height / 2);
        await page.mouse.down();
        await page.mouse.move(b.x + b.width / 2, b.y + b.height / 2, { steps: 8 });
        await page.mouse.up();
      } else {
        await page.click(from);
        await page.click(to);
      }
      await page.waitForFunction((plies) => Number(document.body.dataset.plies) > plies, { timeout: 10000 },
        2 * move);
      check(await page.evaluate(() => document.body.dataset.over === 'no'), `the game ended at move ${move + 1}`);
    }
    await page.waitForFunction(() => document.body.dataset.plies === '20', { timeout: 60000 });
    const moves = await page.$$eval('#moves li', (items) => items.map((item) => item.textContent));
    check(moves.length === MOVES, `the move list shows ${moves.length} moves`);
    console.log(`${name}: played ${MOVES} moves: ${moves.map((m, i) => `${i + 1}. ${m}`).join(' ')}`);

    // Analysis, two lines: threads search without limit until Stop; one
    // thread searches for three seconds and reads the stop after it.
    await page.waitForFunction(() => !document.getElementById('analyse').disabled, { timeout: 60000 });
    await page.select('#multipv', '2');
    await page.click('#analyse');
    await page.waitForFunction(() => {
      const rows = [...document.querySelectorAll('#lines tbody tr')];
      return rows.length === 2 && rows.every((row) => Number(row.cells[1].textContent) >= 4);
    }, { timeout: 60000 });
    await page.click('#stop');
    await page.waitForSelector('body[data-analysis="stopped"]', { timeout: 30000 });
    const lines = await page.$$eval('#lines tbody tr', (rows) => rows.map((row) =>
      [...row.cells].map((cell) => cell.textContent)));
    check(lines.length === 2, 'two analysis lines');
    for (const [number, depth, score, pv] of lines) {
      check(/^\d+$/.test(depth) && /^(#-?\d+|-?\d+\.\d\d)$/.test(score) && pv.split(' ').length >= 1 && pv,
        `analysis line ${number}: ${depth} ${score} ${pv}`);
    }
    const status = await page.$eval('#analysis-status', (element) => element.textContent);
    check(status.startsWith('stopped: best move'), `analysis status: ${status}`);
    console.log(`${name}: analysis stopped (${status}); lines: ${lines.map((l) => l.join(' ')).join(' | ')}`);
    if (isolated) {
      await page.screenshot({ path: screenshot });
      console.log(`${name}: screenshot ${screenshot}`);
    }
    // Take back (the last pair of moves), flip, new game.
    await page.click('#take-back');
    await page.waitForFunction(() => document.body.dataset.plies === '18', { timeout: 10000 });
    const corner = () => page.$eval('#board .square', (square) => square.dataset.square);
    check((await corner()) === 'a8', 'White at the bottom');
    await page.click('#flip');
    check((await corner()) === 'h1', 'flipped: Black at the bottom');
    await page.click('#flip');
    await page.click('#new-game');
    await page.waitForFunction(() => document.body.dataset.plies === '0' &&
      document.querySelectorAll('#moves li').length === 0, { timeout: 10000 });
    console.log(`${name}: take back, flip and new game answer`);
    check(errors.length === 0, `console errors: ${errors.join('; ')}`);
  } catch (error) {
    error.message = `${name}: ${error.message}${errors.length ? `\n  console errors: ${errors.join('\n  ')}` : ''}`;
    throw error;
  } finally {
    await browser.close();
    server.close();
    rmSync(profile, { recursive: true, force: true });
  }
}

const only = process.env.KESTRUNE_BROWSER_FLAVOUR;
if (only !== 'single') await run(true);
if (only !== 'threads') await run(false);
console.log('browser: both flavours passed');
