// Browser test of the web page: loads the built page from its folder in headless Chromium, feeds
// it the samples and images made by the project's builder, and checks the listing, the
// diagnostics, the exit status and every byte of the zips, and of the image saved as each
// container that holds it, against the native programs' runs on the same images (with -u, as the
// page runs them). Prints the page's size and time.
//   node web/test.mjs NATIVE_BUILD_DIR WEB_BUILD_DIR [SCREENSHOT.png]
// (SCREENSHOT.png: a collection's catalogue, as the README shows it)
import {execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath, pathToFileURL} from 'node:url';
import {unzipSync} from 'fflate';
import {chromium} from 'playwright-core';

const [nativeDir, webDir, screenshot] = process.argv.slice(2).map((p) => p && path.resolve(p));
const source = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'd88web-'));
const images = path.join(scratch, 'images');
fs.mkdirSync(images);
let failures = 0;

function fail(what) {
  failures += 1;
  console.error(`FAIL: ${what}`);
}

function expectEqual(actual, expected, what) {
  if (actual !== expected) {
    fail(`${what}\n  page:   ${JSON.stringify(actual)}\n  native: ${JSON.stringify(expected)}`);
  }
}

function tree(root, prefix = '', files = new Map()) {
  if (!fs.existsSync(root)) return files;
  for (const entry of fs.readdirSync(root).sort()) {
    const full = path.join(root, entry);
    if (fs.statSync(full).isDirectory()) tree(full, prefix + entry + '/', files);
    else files.set(prefix + entry, fs.readFileSync(full));
  }
  return files;
}

function compareFiles(pageFiles, nativeFiles, what) {
  const pageNames = [...pageFiles.keys()].sort().join('\n');
  const nativeNames = [...nativeFiles.keys()].sort().join('\n');
  expectEqual(pageNames, nativeNames, `${what}: file names`);
  for (const [name, bytes] of nativeFiles) {
    const got = pageFiles.get(name);
    if (got && Buffer.compare(Buffer.from(got), bytes) !== 0) fail(`${what}: bytes of ${name}`);
  }
}

// The native program on `image`, run from the folder that holds it, as the page runs it.
function runNative(program, image, options, label) {
  const out = path.join(scratch, 'native', label);
  const run = spawnSync(path.join(nativeDir, program, program),
                        [image, ...options, '-u', '-C', out], {cwd: images});
  return {status: run.status, listing: run.stdout.toString('utf8'),
          problems: run.stderr.toString('utf8'), files: tree(out)};
}

// The date and time (to the minute) that a zip records for `name`, from its local headers.
function zipDate(zip, name) {
  for (let at = 0; at + 30 <= zip.length && zip.readUInt32LE(at) === 0x04034b50;) {
    const nameLength = zip.readUInt16LE(at + 26), extraLength = zip.readUInt16LE(at + 28);
    const time = zip.readUInt16LE(at + 10), date = zip.readUInt16LE(at + 12);
    if (zip.toString('utf8', at + 30, at + 30 + nameLength) === name) {
      const two = (n) => String(n).padStart(2, '0');
      return `${1980 + (date >> 9)}-${two((date >> 5) & 15)}-${two(date & 31)} ` +
             `${two(time >> 11)}:${two((time >> 5) & 63)}`;
    }
    at += 30 + nameLength + extraLength + zip.readUInt32LE(at + 18);
  }
  return null;
}

const makeD88 = path.join(nativeDir, 'tests', 'make_d88');
const names = ['sample-dskcut.d88', 'sample-dskpull.d88', 'shift-jis-names.d88', 'damaged.d88',
               'file-systems.d88', 'hu-basic.2d'];
fs.copyFileSync(path.join(source, 'examples/sample-dskcut.d88'), path.join(images, names[0]));
fs.copyFileSync(path.join(source, 'examples/sample-dskpull.d88'), path.join(images, names[1]));
execFileSync(makeD88, ['web-shift-jis', path.join(images, names[2])]);
execFileSync(makeD88, ['web-damaged', path.join(images, names[3])]);
execFileSync(makeD88, ['web-file-systems', path.join(images, names[4])]);
execFileSync(makeD88, ['web-raw-2d', path.join(images, names[5])]);

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const page = await (await browser.newContext({acceptDownloads: true})).newPage();
page.on('pageerror', (error) => fail(`page error: ${error.message}`));
const requests = [];
page.on('request', (request) => requests.push(request.url()));
await page.goto(pathToFileURL(path.join(webDir, 'index.html')).href);
await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Ready'));

let runs = 0;
async function waitForRun(count) {
  runs += count;
  await page.waitForFunction((n) => Number(document.body.dataset.runs || 0) >= n, runs);
}

async function pageResult(program) {
  const section = `#${program}`;
  // A program that reads none of the image's disks sits behind the "read as another program"
  // control: opened to reach its buttons.
  await page.evaluate(() => { document.getElementById('others').open = true; });
  const listing = await page.textContent(`${section} .listing`);
  const problems = await page.textContent(`${section} .problems`);
  const files = new Map();
  let zip = null;
  if (await page.isEnabled(`${section} .download-all`)) {
    const [download] = await Promise.all([page.waitForEvent('download'),
                                          page.click(`${section} .download-all`)]);
    zip = fs.readFileSync(await download.path());
    for (const [name, bytes] of Object.entries(unzipSync(zip))) files.set(name, bytes);
  }
  return {listing, problems, files, zip, summary: await page.textContent(`${section} .summary`)};
}

async function check(image, program, options) {
  const what = `${image}, ${program} ${options.join(' ')}`.trim();
  const native = runNative(program, image, options, `${image}-${program}${options.join('')}`);
  const shown = await pageResult(program);
  expectEqual(shown.listing, native.listing, `${what}: listing`);
  expectEqual(shown.problems, native.problems, `${what}: diagnostics`);
  compareFiles(shown.files, native.files, what);
  const clean = native.status === 0;
  if (clean !== shown.summary.includes('all read in full')) fail(`${what}: summary "${shown.summary}"`);
  return shown;
}

const timings = [];
let saves = 0;
for (const image of names) {
  await page.setInputFiles('#image', path.join(images, image));
  await waitForRun(1);
  if (image.startsWith('sample')) timings.push(await page.evaluate(() => window.timing));
  // What each disk holds, as the native dskinfo --json says it.
  const info = JSON.parse(execFileSync(path.join(nativeDir, 'dskinfo', 'dskinfo'),
                                       [image, '--json'], {cwd: images}).toString('utf8'));
  const shownKinds = await page.$$eval('#dskinfo tbody tr', (rows) => rows.map((row) => row.dataset.fileSystem));
  expectEqual(shownKinds.join(' '), info.images[0].disks.map((d) => d.file_system).join(' '),
              `${image}, dskinfo: file systems`);
  // Only the programs that read the disks are open; the others read the image as their layout.
  const readers = info.images[0].disks.map((d) => d.read_with).filter((r) => r !== null);
  const others = await page.$$eval('#others section', (all) => all.map((s) => s.id));
  expectEqual(others.join(' '), ['dskget', 'dskcut', 'dskpull'].filter((p) => !readers.includes(p)).join(' '),
              `${image}: the programs behind "read as another program"`);
  const asLayout = (program) => (readers.includes(program) ? [] : ['-f']);
  // "Save as": a button for each container that holds every disk whole, each saving what the
  // native dskconv writes.
  const disks = info.images[0].disks;
  const held = disks.length === 0 ? [] : disks.map((d) => d.held_by)
      .reduce((all, some) => all.filter((type) => some.includes(type)))
      .filter((type) => disks.length === 1 || type === 'd88');
  const offered = await page.$$eval('#dskinfo .save-as button', (all) => all.map((b) => b.dataset.container));
  expectEqual(offered.join(' '), held.join(' '), `${image}: the containers offered`);
  for (const type of offered) {
    const [download] = await Promise.all([page.waitForEvent('download'),
                                          page.click(`#dskinfo .save-as button[data-container="${type}"]`)]);
    const out = path.join(scratch, `converted-${image}-${download.suggestedFilename()}`);
    const run = spawnSync(path.join(nativeDir, 'dskconv', 'dskconv'), [image, out, '-t', type],
                          {cwd: images});
    saves += 1;
    if (run.status !== 0 || Buffer.compare(fs.readFileSync(await download.path()), fs.readFileSync(out)) !== 0) {
      fail(`${image} saved as ${type}: not what dskconv writes (${run.stderr})`);
    }
  }
  const got = await check(image, 'dskget', []);
  if (image === 'file-systems.d88') {
    if (got.files.size !== 8) fail(`dskget files: ${got.files.size}`);
    const date = zipDate(got.zip, '002/ゲーム.BIN');
    if (date !== '1986-06-15 12:34') fail(`dskget zip: the date recorded on the disk: ${date}`);
  }
  if (image === 'hu-basic.2d' && got.files.size !== 3) fail(`dskget files of the raw dump: ${got.files.size}`);
  const cut = await check(image, 'dskcut', asLayout('dskcut'));
  const pull = await check(image, 'dskpull', asLayout('dskpull'));
  if (image === 'sample-dskpull.d88' && !cut.summary.startsWith('Not a dskcut image')) {
    fail(`foreign layout not said: ${cut.summary}`);
  }
  if (image === 'shift-jis-names.d88') {
    // Debian's unzip takes the names as the page wrote them.
    const zip = path.join(scratch, 'names.zip'), unzipped = path.join(scratch, 'unzipped');
    fs.writeFileSync(zip, cut.zip);
    const run = spawnSync('unzip', ['-q', zip, '-d', unzipped]);
    if (run.error) {
      console.log('unzip is missing: the zip was not unpacked with it');
    } else {
      compareFiles(tree(unzipped), runNative('dskcut', image, asLayout('dskcut'), 'unzip').files,
                   `${image}, unzip`);
    }
  }
  if (image === 'damaged.d88') {
    const buttons = await page.$$eval('#dskcut .files button', (all) => all.map((b) => b.textContent));
    if (!buttons.some((text) => text.startsWith('001/') && text.endsWith('not read from its disk)'))) {
      fail(`an entry not read from its disk is not marked: ${buttons.join(' | ')}`);
    }
  }
  if (image === 'sample-dskcut.d88') {
    if (!pull.summary.startsWith('Not a dskpull image')) fail(`foreign layout not said: ${pull.summary}`);
    // One file alone, from its own button: the first one listed, named with its folder.
    const labels = await page.$$eval('#dskcut .files button', (all) => all.map((b) => b.textContent));
    expectEqual(labels.map((label) => label.split(' (')[0]).join(' '),
                '000/README.TXT 000/HELLO.BAS 000/SPRITE.BIN 000/NOEXT 001/README.TXT 001/TABLE.DAT',
                'file buttons in the order of the listing');
    const [download] = await Promise.all([page.waitForEvent('download'),
                                          page.click('#dskcut .files button >> nth=0')]);
    const native = runNative('dskcut', image, [], 'single').files;
    expectEqual(download.suggestedFilename(), '000_README.TXT', 'the single download\'s name');
    if (Buffer.compare(fs.readFileSync(await download.path()), native.get('000/README.TXT')) !== 0) {
      fail('single download of 000/README.TXT');
    }
  }
  await page.check('#option-d');
  await page.check('#option-2');
  await waitForRun(2);
  await check(image, 'dskcut', ['-d', '-2', ...asLayout('dskcut')]);
  await page.uncheck('#option-d');
  await page.uncheck('#option-2');
  await waitForRun(2);
}

// dskput: two files onto a new Hu-BASIC disk, and onto a copy of the raw dump read last, each the
// bytes the native dskput writes from the same files.
const putDir = path.join(scratch, 'put');
fs.mkdirSync(putDir);
const putFiles = [path.join(putDir, 'GAME.BIN'), path.join(putDir, 'NOTES.TXT')];
fs.writeFileSync(putFiles[0], Buffer.from(Array.from({length: 3000}, (_, i) => (i * 7) & 255)));
fs.writeFileSync(putFiles[1], '10 PRINT "HELLO"\r\n');
for (const file of putFiles) fs.utimesSync(file, new Date(2001, 1, 3, 4, 5, 6), new Date(2001, 1, 3, 4, 5, 6));
await page.setInputFiles('#put-files', putFiles);
let puts = 0;
async function putAndCompare(button, nativeArgs, what) {
  puts += 1;
  const downloaded = page.waitForEvent('download', {timeout: 60000}).catch(() => null);
  await page.click(button);
  await page.waitForFunction((n) => Number(document.body.dataset.puts || 0) >= n, puts);
  const download = await downloaded;
  if (download === null) {
    fail(`dskput, ${what}: nothing written: ${await page.textContent('#dskput .problems')}`);
    return;
  }
  const out = path.join(scratch, `put-${download.suggestedFilename()}`);
  const run = spawnSync(path.join(nativeDir, 'dskput', 'dskput'), [...nativeArgs(out), ...putFiles],
                        {cwd: images});
  if (run.status !== 0 || Buffer.compare(fs.readFileSync(await download.path()), fs.readFileSync(out)) !== 0) {
    fail(`dskput, ${what}: not what the native dskput writes (${run.stderr})`);
  }
  expectEqual(await page.textContent('#dskput .problems'), run.stderr.toString('utf8'),
              `dskput, ${what}: diagnostics`);
}
await page.selectOption('#put-variant', 'hu-basic:2d');
await page.selectOption('#put-container', '.d88');
await putAndCompare('#put-new', (out) => ['-n', 'hu-basic:2d', out], 'a new disk');
await putAndCompare('#put-add', (out) => [names[names.length - 1], '-o', out], 'onto a copy');

// A large image is read in the worker: the page says that it is at work, and stays responsive.
const large = path.join(images, 'large.d88');
execFileSync(makeD88, ['bench-dskcut', large]);
const largeBytes = fs.statSync(large).size;
const largeStart = Date.now();
await page.setInputFiles('#image', large);
await page.waitForFunction(() => document.getElementById('status').textContent.includes('reading'))
    .catch(() => fail('no sign of work while a large image is read'));
const enabled = await page.$$eval('section button', (all) => all.filter((b) => !b.disabled).length);
if (enabled > 0) fail(`${enabled} of the previous image's buttons enabled while a new one is read`);
const answerStart = Date.now();
await page.evaluate(() => document.title);
const largeAnswerMs = Date.now() - answerStart;
await waitForRun(1);
const largeMs = Date.now() - largeStart;
if (largeAnswerMs > 500) fail(`the page took ${largeAnswerMs} ms to answer while reading`);

// Collections: a folder (images, one too short, a text file, a zip inside), then a 7z, a zip and an
// image chosen together. The catalogue's JSON Lines and datafile, the diagnostics, dskget's listing and
// everything's zip are what the native programs give for the same paths from the same folder.
const shelf = path.join(scratch, 'shelf');
fs.mkdirSync(path.join(shelf, 'coll', 'sub'), {recursive: true});
fs.copyFileSync(path.join(images, 'file-systems.d88'), path.join(shelf, 'coll/sub/file-systems.d88'));
fs.copyFileSync(path.join(images, 'hu-basic.2d'), path.join(shelf, 'coll/sub/hu-basic.2d'));
fs.writeFileSync(path.join(shelf, 'coll/short.d88'), 'x'.repeat(10));
fs.writeFileSync(path.join(shelf, 'coll/notes.txt'), 'not an image\n');
fs.copyFileSync(path.join(images, 'sample-dskcut.d88'), path.join(shelf, 'sample-dskcut.d88'));
execFileSync('zip', ['-qr', '../pack.zip', 'sub'], {cwd: path.join(shelf, 'coll')});
execFileSync('7z', ['a', '-bd', '../more.7z', 'sub'], {cwd: path.join(shelf, 'coll')});
fs.copyFileSync(path.join(shelf, 'pack.zip'), path.join(shelf, 'coll/inner.zip'));
let collections = 0;
const archiveRequests = () => requests.filter((url) => url.endsWith('/archives.js')).length;
async function checkCollection(selector, chosen, paths) {
  const what = `the collection ${paths.join(' ')}`;
  await page.setInputFiles(selector, chosen);
  collections += 1;
  await page.waitForFunction((n) => Number(document.body.dataset.collections || 0) >= n,
                             collections, {timeout: 120000});
  const native = (program, options) => spawnSync(path.join(nativeDir, program, program),
                                                 [...paths, ...options], {cwd: shelf});
  const saved = async (button) => {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
    return fs.readFileSync(await download.path());
  };
  const jsonl = native('dskinfo', ['--files', '--jsonl']);
  expectEqual((await saved('#download-jsonl')).toString('utf8'), jsonl.stdout.toString('utf8'),
              `${what}: JSON Lines`);
  expectEqual(await page.textContent('#catalogue .problems'), jsonl.stderr.toString('utf8'),
              `${what}: dskinfo's diagnostics`);
  expectEqual((await saved('#download-dat')).toString('utf8'),
              native('dskinfo', ['--dat']).stdout.toString('utf8'), `${what}: datafile`);
  const out = path.join(scratch, `collection-${collections}`);
  const extracted = native('dskget', ['-C', out]);
  expectEqual(await page.textContent('#catalogue .listing'), extracted.stdout.toString('utf8'),
              `${what}: dskget's listing`);
  expectEqual(await page.textContent('#catalogue .extract-problems'),
              extracted.stderr.toString('utf8'), `${what}: dskget's diagnostics`);
  const zipped = new Map(Object.entries(unzipSync(await saved('#download-everything'))));
  compareFiles(zipped, tree(out), `${what}: everything's zip`);
  // A row per image; a click shows its files with their hashes.
  const images = jsonl.stdout.toString('utf8').trim().split('\n').map((line) => JSON.parse(line));
  const rows = await page.$$eval('#catalogue tbody > tr', (all) => all.map((row) => row.dataset.path));
  expectEqual(rows.join(' '), images.map((image) => image.path).join(' '), `${what}: rows`);
  const withFiles = images.find((image) => image.disks.some((disk) => disk.file_list?.length > 0));
  await page.click(`#catalogue tbody > tr[data-path="${withFiles.path}"]`);
  const shown = await page.$$eval('#catalogue tr.image-files tr', (all) => all.map((row) => row.textContent));
  const listed = withFiles.disks.flatMap((disk) => (disk.file_list || [])
      .map((file) => `${disk.folder}/${file.path}${file.size} bytes${file.crc32}${file.sha1}`));
  expectEqual(shown.join('\n'), listed.join('\n'), `${what}: the files of ${withFiles.path}`);
  // Sorted by files, most first.
  await page.click('#catalogue th[data-key="files"]');
  await page.click('#catalogue th[data-key="files"]');
  const counts = await page.$$eval('#catalogue tbody > tr', (all) => all.map((row) => Number(row.cells[3].textContent)));
  expectEqual(counts.join(' '), [...counts].sort((a, b) => b - a).join(' '), `${what}: sorted by files`);
  return images.length;
}
const before = archiveRequests();
const inFolder = await checkCollection('#folder', path.join(shelf, 'coll'), ['coll']);
if (inFolder !== 5) fail(`the folder's images: ${inFolder}`);
if (archiveRequests() !== before + 1) fail('the archive reader was not loaded for the zip inside the folder');
await checkCollection('#image', ['more.7z', 'pack.zip', 'sample-dskcut.d88'].map((name) => path.join(shelf, name)),
                      ['more.7z', 'pack.zip', 'sample-dskcut.d88']);
// A 200 MB archive of 600 images is read without a copy of it: the module's memory stays near
// where it starts (64 MB), and the page answers meanwhile.
const big = path.join(scratch, 'big');
fs.mkdirSync(path.join(big, 'disks'), {recursive: true});
for (let i = 0; i < 600; i += 1) {
  fs.copyFileSync(path.join(images, 'hu-basic.2d'), path.join(big, 'disks', `${i}.2d`));
}
execFileSync('zip', ['-q0r', path.join(shelf, 'big.zip'), 'disks'], {cwd: big});
fs.rmSync(big, {recursive: true});
const bigBytes = fs.statSync(path.join(shelf, 'big.zip')).size;
const bigStart = Date.now();
await page.setInputFiles('#image', path.join(shelf, 'big.zip'));
await page.waitForFunction(() => /^[1-9]\d* images? read$/.test(document.getElementById('progress-text').textContent),
                           null, {timeout: 120000}).catch(() => fail('no progress while a large archive is read'));
const bigAnswerStart = Date.now();
await page.evaluate(() => document.title);
const bigAnswerMs = Date.now() - bigAnswerStart;
collections += 1;
await page.waitForFunction((n) => Number(document.body.dataset.collections || 0) >= n,
                           collections, {timeout: 300000});
const bigMs = Date.now() - bigStart;
const bigRows = await page.$$eval('#catalogue tbody > tr', (all) => all.length);
if (bigRows !== 600) fail(`the large archive's images: ${bigRows}`);
const memory = await page.evaluate(() => window.memory);
if (memory > 96 * 1024 * 1024) fail(`reading a ${bigBytes}-byte archive took ${memory} bytes of memory`);
if (bigAnswerMs > 500) fail(`the page took ${bigAnswerMs} ms to answer while reading an archive`);
if (screenshot) {
  await checkCollection('#image', [path.join(shelf, 'pack.zip'), path.join(shelf, 'sample-dskcut.d88')],
                        ['pack.zip', 'sample-dskcut.d88']);
  // The catalogue, one image's files shown.
  await page.click('#catalogue tbody > tr >> nth=0');
  await page.locator('#catalogue').screenshot({path: screenshot});
}
await browser.close();

if (before !== 0) fail('archives.js was loaded before an archive was dropped');
const outside = requests.filter((url) => !url.startsWith('file:') && !url.startsWith('blob:') &&
                                         !url.startsWith('data:'));
if (outside.length > 0) fail(`the page fetched from outside its folder: ${outside.join(', ')}`);
const size = ['index.html', 'dskcut.js'].reduce((sum, f) => sum + fs.statSync(path.join(webDir, f)).size, 0);
console.log(`page size: ${size} bytes (html + script with the module inside); the archive ` +
            `reader: ${fs.statSync(path.join(webDir, 'archives.js')).size} bytes`);
for (const [i, t] of timings.entries()) {
  console.log(`${names[i]}: read by all four programs in ${t.extractMs.toFixed(1)} ms`);
}
console.log(`${saves} images saved as another container, each what dskconv writes`);
console.log(`${puts} images written by dskput, each what the native dskput writes`);
console.log(`a ${(largeBytes / 1e6).toFixed(1)} MB image: read in ${largeMs.toFixed(0)} ms, the ` +
            `page answering within ${largeAnswerMs.toFixed(0)} ms meanwhile`);
fs.rmSync(scratch, {recursive: true, force: true});
if (failures > 0) {
  console.error(`web test: ${failures} failure(s)`);
  process.exit(1);
}
console.log(`${collections} collections catalogued and taken out as the native programs do; a ` +
            `${(bigBytes / 1e6).toFixed(0)} MB archive of 600 images in ${bigMs} ms, in ` +
            `${(memory / 1048576).toFixed(0)} MB of module memory, the page answering within ` +
            `${bigAnswerMs} ms`);
console.log('web test: the page matches the native programs on every image');
