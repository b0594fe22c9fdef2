// Plays random legal games with chess.js and prints them as PGN.
// Usage: node generate-reference-games.mjs GAMES SEED > reference-games.pgn
import { Chess } from 'chess.js';

const games = Number(process.argv[2] ?? 300);
let seed = Number(process.argv[3] ?? 1);

// A small deterministic generator (mulberry32), so that a run can be repeated.
function random() {
  seed = (seed + 0x6d2b79f5) | 0;
  let t = seed;
  t = Math.imul(t ^ (t >>> 15), t | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const pick = (list) => list[Math.floor(random() * list.length)];

// Each game has a style, so that the set holds every kind of move and ending.
const styles = ['captures', 'quiet', 'shuffle', 'promote', 'plain', 'queens'];

function chooseMove(chess, style, history) {
  const moves = chess.moves({ verbose: true });
  const mates = moves.filter((m) => m.san.endsWith('#'));
  if (mates.length && random() < (style === 'queens' || style === 'plain' ? 0.05 : 0.8)) return pick(mates);
  if (style === 'queens') {
    // Many queens of one colour make moves that need file and rank to tell apart.
    const queening = moves.filter((m) => m.promotion === 'q');
    if (queening.length) return pick(queening);
    const pawns = moves.filter((m) => m.piece === 'p' && !m.captured);
    if (pawns.length && random() < 0.7) return pick(pawns);
    const noTaking = moves.filter((m) => !m.captured);
    if (noTaking.length && random() < 0.9) return pick(noTaking);
  }
  if (style === 'plain' && chess.board().flat().filter(Boolean).length < 16) {
    const stalemates = moves.filter((m) => {
      chess.move(m);
      const stale = chess.isStalemate();
      chess.undo();
      return stale;
    });
    if (stalemates.length && random() < 0.8) return pick(stalemates);
  }
  // Moves that need file and rank to tell them apart are rare: take them.
  const both = moves.filter((m) => /^[QRBN][a-h][1-8]x?[a-h][1-8]/.test(m.san));
  if (both.length && random() < 0.9) return pick(both);
  const special = moves.filter((m) => /[kqep]/.test(m.flags));
  if (special.length && random() < 0.5) return pick(special);
  if (style === 'promote') {
    const pawns = moves.filter((m) => m.piece === 'p');
    if (pawns.length && random() < 0.6) return pick(pawns);
  }
  if (style === 'shuffle' && history.length >= 4 && random() < 0.7) {
    // Undo the own move of two plies ago, which brings positions back.
    const back = history[history.length - 2];
    const reverse = moves.find((m) => m.from === back.to && m.to === back.from);
    if (reverse) return reverse;
  }
  const captures = moves.filter((m) => m.captured);
  if (style === 'captures' && captures.length && random() < 0.7) return pick(captures);
  if (style === 'quiet' && chess.history().length > 60) {
    const quiet = moves.filter((m) => !m.captured && m.piece !== 'p');
    if (quiet.length && random() < 0.95) return pick(quiet);
  }
  const checks = moves.filter((m) => m.san.includes('+'));
  if (checks.length && random() < 0.2) return pick(checks);
  return pick(moves);
}

function ending(chess) {
  if (chess.isCheckmate()) return 'checkmate';
  if (chess.isStalemate()) return 'stalemate';
  if (chess.isInsufficientMaterial()) return 'insufficient material';
  if (chess.isThreefoldRepetition()) return 'threefold repetition';
  if (chess.isDrawByFiftyMoves()) return 'fifty moves';
  return '';
}

for (let n = 1; n <= games; ++n) {
  const chess = new Chess();
  const style = styles[n % styles.length];
  const limit = 80 + Math.floor(random() * 320);
  const history = [];
  while (!chess.isGameOver() && history.length < limit) {
    const move = chooseMove(chess, style, history);
    chess.move(move);
    history.push(move);
  }
  const over = ending(chess);
  let result = '*';
  if (chess.isCheckmate()) result = chess.turn() === 'w' ? '0-1' : '1-0';
  else if (over) result = '1/2-1/2';
  chess.setHeader('Event', 'Reference game ' + n);
  chess.setHeader('Site', 'chess.js random play');
  chess.setHeader('Date', '2024.01.01');
  chess.setHeader('Round', String(n));
  chess.setHeader('White', 'Random ' + style);
  chess.setHeader('Black', 'Random ' + style);
  chess.setHeader('Result', result);
  chess.setHeader('FinalFEN', chess.fen());
  if (over) chess.setHeader('Ending', over);
  process.stdout.write(chess.pgn({ maxWidth: 79 }) + '\n\n');
}
