// The page: a game against kestrune and an analysis view. chess.js keeps the
// game and checks the moves; the engine runs in a Web Worker (kestrune/browser.js).
import { Chess } from './vendor/chess.js';
import { startEngine } from './kestrune/browser.js';

const $ = (id) => document.getElementById(id);
const GLYPHS = { k: '\u265a', q: '\u265b', r: '\u265c', b: '\u265d', n: '\u265e', p: '\u265f' };

const game = new Chess();
let orientation = 'w';
let human = 'w';
let selected = null;
let drag = null;

// Every "go" is answered by one "bestmove", in order; a search the page no
// longer wants (take back, new game) is marked cancelled and its answer ignored.
const searches = [];
const lines = new Map();

const engine = startEngine({ onLine: receive, onError: (line) => console.warn('kestrune:', line) });
$('flavour').textContent = engine.threaded ? 'threads' : 'single thread (no cross-origin isolation)';
send('uci');

function send(line) {
  engine.send(line);
}

function receive(line) {
  if (line.startsWith('id name ')) {
    $('engine-name').textContent = line.slice(8);
  } else if (line === 'uciok') {
    document.body.dataset.engine = 'ready';
    update();
  } else if (line.startsWith('info ') && line.includes(' pv ')) {
    progress(line);
  } else if (line.startsWith('bestmove')) {
    answered(line.split(' ')[1]);
  }
}

function go(kind, limits) {
  const search = { kind, cancelled: false, fen: game.fen() };
  searches.push(search);
  lines.clear();
  showLines();
  send(`setoption name MultiPV value ${kind === 'analysis' ? $('multipv').value : 1}`);
  send(`position startpos${game.history().length ? ' moves ' + uciHistory().join(' ') : ''}`);
  send(`go ${limits}`);
  update();
}

// Cancels what runs; an analysis that the page stops still shows its lines.
function cancelAll() {
  for (const search of searches) search.cancelled = search.kind === 'move' || search.cancelled;
  if (searches.length) send('stop');
}

function answered(move) {
  const search = searches.shift();
  if (!search) return;
  if (search.kind === 'move' && !search.cancelled && move && move !== '(none)') {
    play({ from: move.slice(0, 2), to: move.slice(2, 4), promotion: move[4] });
  }
  if (search.kind === 'analysis') {
    $('analysis-status').textContent = `stopped: best move ${san(search.fen, move) || move}`;
    document.body.dataset.analysis = 'stopped';
  }
  update();
  engineMove();
}

function thinking() {
  return searches.some((search) => !search.cancelled && search.kind === 'move');
}

function analysing() {
  return searches.some((search) => !search.cancelled && search.kind === 'analysis');
}

function engineMove() {
  if (!searches.length && !game.isGameOver() && game.turn() !== human && document.body.dataset.engine === 'ready') {
    go('move', $('level').value);
  }
}

function uciHistory() {
  return game.history({ verbose: true }).map((move) => move.from + move.to + (move.promotion || ''));
}

function san(fen, uci) {
  try {
    const board = new Chess(fen);
    return board.move({ from: uci.slice(0, 2), to: uci.slice(2, 4), promotion: uci[4] }).san;
  } catch {
    return null;
  }
}

// A progress line: the row of its multipv number, scores from White's side.
function progress(line) {
  const search = searches[0];
  if (!search) return;
  const words = line.split(' ');
  const field = (name) => words[words.indexOf(name) + 1];
  const pv = words.slice(words.indexOf('pv') + 1).filter(Boolean);
  const white = search.fen.split(' ')[1] === 'w' ? 1 : -1;
  const kind = field('score');
  const value = Number(words[words.indexOf('score') + 2]) * white;
  const score = kind === 'mate' ? `#${value}` : (value / 100).toFixed(2);
  const board = new Chess(search.fen);
  const moves = [];
  for (const uci of pv) {
    try {
      moves.push(board.move({ from: uci.slice(0, 2), to: uci.slice(2, 4), promotion: uci[4] }).san);
    } catch {
      break;
    }
  }
  lines.set(Number(field('multipv') || 1), { depth: field('depth'), score, pv: moves.join(' ') });
  showLines();
}

function showLines() {
  const body = $('lines').tBodies[0];
  body.replaceChildren();
  // A line not yet searched as deep as the first one is from the previous depth.
  const depth = Number(lines.get(1)?.depth || 0);
  for (const [number, line] of [...lines].sort((a, b) => a[0] - b[0])) {
    const row = body.insertRow();
    row.classList.toggle('previous', Number(line.depth) < depth);
    for (const text of [number, line.depth, line.score, line.pv]) row.insertCell().textContent = text;
  }
}

function play(move) {
  try {
    game.move(move);
  } catch {
    return false;
  }
  selected = null;
  update();
  return true;
}

function tryMove(from, to) {
  if (game.turn() !== human || thinking() || game.isGameOver()) return false;
  const legal = game.moves({ square: from, verbose: true }).find((move) => move.to === to);
  if (!legal) return false;
  if (analysing()) cancelAll();
  play({ from, to, promotion: legal.promotion ? $('promotion').value : undefined });
  engineMove();
  return true;
}

// The board, rank 8 at the top unless flipped.
function drawBoard() {
  const board = $('board');
  board.replaceChildren();
  const files = 'abcdefgh';
  const last = game.history({ verbose: true }).at(-1);
  const targets = selected ? game.moves({ square: selected, verbose: true }).map((move) => move.to) : [];
  for (let row = 0; row < 8; row++) {
    for (let column = 0; column < 8; column++) {
      const file = orientation === 'w' ? column : 7 - column;
      const rank = orientation === 'w' ? 7 - row : row;
      const name = files[file] + (rank + 1);
      const square = document.createElement('div');
      square.className = `square ${(file + rank) % 2 ? 'light' : 'dark'}`;
      square.dataset.square = name;
      const piece = game.get(name);
      if (piece) {
        const glyph = document.createElement('span');
        glyph.className = `piece ${piece.color}`;
        glyph.textContent = GLYPHS[piece.type];
        square.append(glyph);
        if (piece.type === 'k' && piece.color === game.turn() && game.inCheck()) square.classList.add('check');
      }
      if (name === selected) square.classList.add('selected');
      if (targets.includes(name)) square.classList.add('target');
      if (last && (last.from === name || last.to === name)) square.classList.add('last');
      board.append(square);
    }
  }
}

function result() {
  if (game.isCheckmate()) return `checkmate: ${game.turn() === 'w' ? 'Black' : 'White'} wins`;
  if (game.isStalemate()) return 'draw: stalemate';
  if (game.isInsufficientMaterial()) return 'draw: insufficient material';
  if (game.isThreefoldRepetition()) return 'draw: threefold repetition';
  if (game.isDraw()) return 'draw: fifty-move rule';
  return null;
}

function update() {
  drawBoard();
  const moves = $('moves');
  moves.replaceChildren();
  const history = game.history();
  for (let i = 0; i < history.length; i += 2) {
    const item = document.createElement('li');
    item.textContent = history.slice(i, i + 2).join(' ');
    moves.append(item);
  }
  const over = result();
  $('status').textContent =
    over || (thinking() ? 'kestrune is thinking...' : game.turn() === human ? 'your move' : 'waiting');
  document.body.dataset.plies = String(history.length);
  document.body.dataset.over = over ? 'yes' : 'no';
  $('stop').disabled = !analysing();
  $('analyse').disabled = analysing() || thinking();
}

function squareAt(x, y) {
  return document.elementFromPoint(x, y)?.closest('.square')?.dataset.square;
}

// Click a piece then a square, or drag the piece there.
$('board').addEventListener('pointerdown', (event) => {
  const name = squareAt(event.clientX, event.clientY);
  if (!name) return;
  if (selected && selected !== name && tryMove(selected, name)) return;
  const piece = game.get(name);
  selected = piece && piece.color === human ? name : null;
  if (selected) drag = { from: name, x: event.clientX, y: event.clientY, ghost: null };
  drawBoard();
});
window.addEventListener('pointermove', (event) => {
  if (!drag) return;
  if (!drag.ghost && Math.hypot(event.clientX - drag.x, event.clientY - drag.y) > 4) {
    drag.ghost = document.createElement('div');
    drag.ghost.id = 'drag';
    const piece = game.get(drag.from);
    drag.ghost.className = `piece ${piece.color}`;
    drag.ghost.textContent = GLYPHS[piece.type];
    document.body.append(drag.ghost);
  }
  if (drag.ghost) Object.assign(drag.ghost.style, { left: `${event.clientX}px`, top: `${event.clientY}px` });
});
window.addEventListener('pointerup', (event) => {
  if (!drag) return;
  const { from, ghost } = drag;
  drag = null;
  if (ghost) {
    ghost.remove();
    const to = squareAt(event.clientX, event.clientY);
    if (to && to !== from) tryMove(from, to);
  }
});

$('new-game').addEventListener('click', () => {
  cancelAll();
  game.reset();
  human = $('side').value;
  orientation = human;
  selected = null;
  send('ucinewgame');
  update();
  engineMove();
});
$('take-back').addEventListener('click', () => {
  cancelAll();
  game.undo();
  if (game.turn() !== human) game.undo();
  selected = null;
  update();
});
$('flip').addEventListener('click', () => {
  orientation = orientation === 'w' ? 'b' : 'w';
  drawBoard();
});
// Threads: an open-ended analysis until Stop; one thread: a bounded one.
$('analyse').addEventListener('click', () => {
  $('analysis-status').textContent = 'analysing...';
  document.body.dataset.analysis = 'running';
  go('analysis', engine.threaded ? 'infinite' : 'movetime 3000');
});
$('stop').addEventListener('click', () => {
  $('analysis-status').textContent = 'stopping...';
  send('stop');
});

// For the page's tests: the legal moves of the side to move.
window.kestrune = { legalMoves: () => game.moves({ verbose: true }), fen: () => game.fen() };

update();
