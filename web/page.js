// The page: runs dskinfo, dskget, dskcut and dskpull, compiled from the programs' own code, on a
// dropped image, in a worker (the module's in-memory file system lives there), so that a large
// image leaves the page responsive; shows what each disk holds, what the programs list and
// report, zips what they write when asked, saves the image in each container that holds it whole
// (dskconv), and writes files onto a new disk or a copy of the image (dskput). Several files, a
// folder or an archive are read as a collection, as dskinfo and dskget read one: a catalogue of
// every image, its JSON Lines and datafile, and every image's files in one zip; archives are read
// by a second module, with libarchive, loaded when the first archive is dropped. Nothing leaves
// the browser.
import {zipSync} from 'fflate';

const PROGRAMS = [
  {name: 'dskget', number: 3, dates: true},
  {name: 'dskcut', number: 0},
  {name: 'dskpull', number: 1},
];
let image = null;  // {name, bytes}
let results = {};
let worker = null;
let requested = 0;  // runs asked of the worker, and answered
let answered = 0;

function $(id) { return document.getElementById(id); }

// The worker's code: it builds the module from createPrograms, runs every program on the image it
// is sent, each as its command line would, and sends back their statuses, listings, diagnostics
// and files. Turned into source text with the module's factory, so it uses nothing else.
function runner() {
  const captured = {out: [], err: []};
  const utf8 = new TextDecoder('utf-8');
  let onLine = null;  // called for each line the program writes to standard output
  createPrograms({
    stdin: () => null,
    stdout: (byte) => {
      if (byte === null) return;
      captured.out.push(byte);
      if (byte === 10 && onLine) onLine();
    },
    stderr: (byte) => { if (byte !== null) captured.err.push(byte); },
  }).then((module) => {
    const FS = module.FS;
    const removeTree = (path) => {
      if (!FS.analyzePath(path).exists) return;
      for (const entry of FS.readdir(path)) {
        if (entry === '.' || entry === '..') continue;
        const child = path + '/' + entry;
        if (FS.isDir(FS.stat(child).mode)) removeTree(child); else FS.unlink(child);
      }
      FS.rmdir(path);
    };
    // Every file below `path`, in the order the program wrote them (a file replaced later counts
    // as written then), which is the order of its listing.
    const collectFiles = (path, prefix, files) => {
      for (const entry of FS.readdir(path)) {
        if (entry === '.' || entry === '..') continue;
        const child = path + '/' + entry;
        const status = FS.stat(child);
        if (FS.isDir(status.mode)) {
          collectFiles(child, prefix + entry + '/', files);
        } else {
          files.push({path: prefix + entry, bytes: FS.readFile(child), mtime: status.mtime,
                      written: status.ino});
        }
      }
      return prefix === '' ? files.sort((a, b) => a.written - b.written) : files;
    };
    // Runs program `number` with `words` as its arguments, from the folder that holds the image.
    const run = (number, words, folder = '/in') => {
      FS.chdir(folder);
      captured.out = [];
      captured.err = [];
      const argument = new TextEncoder().encode(words.join('\0') + '\0\0');
      const pointer = module._malloc(argument.length);
      module.HEAPU8.set(argument, pointer);
      const status = module._RunProgram(number, pointer);
      module._free(pointer);
      FS.chdir('/');
      return {status, listing: utf8.decode(new Uint8Array(captured.out)),
              problems: utf8.decode(new Uint8Array(captured.err))};
    };
    // dskput: the files chosen written into /put, the program run with `words` (the files' paths
    // after them), what it wrote to /out/FILE sent back.
    const put = ({words, files, file}) => {
      removeTree('/out');
      FS.mkdir('/out');
      removeTree('/put');
      FS.mkdir('/put');
      const paths = [];
      for (const chosen of files) {
        const where = '/put/' + chosen.name;
        FS.writeFile(where, chosen.bytes);
        FS.utime(where, chosen.time, chosen.time);
        paths.push(where);
      }
      const result = run(5, [...words, ...paths]);
      result.bytes = FS.analyzePath('/out/' + file).exists ? FS.readFile('/out/' + file) : null;
      self.postMessage({put: {file, ...result}}, result.bytes ? [result.bytes.buffer] : []);
    };
    // A collection: the files dropped, mounted in /coll where they lie (WORKERFS reads a browser's
    // File when asked: nothing is copied), read as dskinfo and dskget read a collection from the
    // folder that holds the paths given; each image read is said as it is done.
    const collection = ({entries, paths}) => {
      if (FS.analyzePath('/coll').exists) {
        FS.unmount('/coll');
        FS.rmdir('/coll');
      }
      FS.mkdir('/coll');
      FS.mount(FS.filesystems.WORKERFS,
               {blobs: entries.map(({path, file}) => ({name: path, data: file}))}, '/coll');
      let done = 0;
      onLine = () => self.postMessage({progress: ++done});
      const catalogue = run(2, [...paths, '--files', '--jsonl'], '/coll');
      onLine = null;
      const datafile = run(2, [...paths, '--dat'], '/coll');
      removeTree('/out');
      const extracted = run(3, [...paths, '-C', '/out'], '/coll');
      extracted.files = FS.analyzePath('/out').exists ? collectFiles('/out', '', []) : [];
      removeTree('/out');
      // The module's memory, for the test: it grows to the largest thing read at once, never
      // to the collection's size.
      const memory = module.HEAPU8.length;
      self.postMessage({collection: {catalogue, datafile, extracted, memory}},
                       extracted.files.map((file) => file.bytes.buffer));
    };
    self.onmessage = (event) => {
      if (event.data.collection) {
        collection(event.data.collection);
        return;
      }
      if (event.data.put) {
        put(event.data.put);
        return;
      }
      if (event.data.convert) {
        // dskconv IMAGE /out/FILE -t TYPE, its bytes sent back.
        const {name, type, file} = event.data.convert;
        removeTree('/out');
        FS.mkdir('/out');
        const result = run(4, [name, '/out/' + file, '-t', type]);
        result.bytes = FS.analyzePath('/out/' + file).exists ? FS.readFile('/out/' + file) : null;
        self.postMessage({converted: {type, file, ...result}},
                         result.bytes ? [result.bytes.buffer] : []);
        return;
      }
      const {name, bytes, time, programs} = event.data;
      const started = performance.now();
      removeTree('/in');
      FS.mkdir('/in');
      FS.writeFile('/in/' + name.replace(/^\.\//, ''), bytes);
      // The file's own time: an IMD image written from it records it.
      FS.utime('/in/' + name.replace(/^\.\//, ''), time, time);
      const info = run(2, [name, '--json']);
      const {disks, container} = JSON.parse(info.listing).images[0];
      // The programs dskinfo names for the disks; the others read the image as their layout all
      // the same (-f), since the page runs them only when asked to read it as another program.
      const readers = [...new Set(disks.map((disk) => disk.read_with).filter((r) => r !== null))];
      const answer = {info: {disks, container, problems: info.problems}, readers, results: {}};
      const transfer = [];
      for (const program of programs) {
        removeTree('/out');
        const asked = program.name !== 'dskget' && !readers.includes(program.name) ? ['-f'] : [];
        // -u for Unicode names and -C into /out, as the page's user would run it.
        const result = run(program.number,
                           [name, ...program.options, ...asked, '-u', '-C', '/out']);
        result.files = FS.analyzePath('/out').exists ? collectFiles('/out', '', []) : [];
        for (const file of result.files) transfer.push(file.bytes.buffer);
        answer.results[program.name] = result;
      }
      answer.extractMs = performance.now() - started;
      self.postMessage(answer, transfer);
    };
    // The variants dskput formats, as its --list gives them.
    if (!FS.analyzePath('/in').exists) FS.mkdir('/in');
    const variants = run(5, ['--list']).listing.split('\n').filter((line) => line !== '')
        .map((line) => line.split(' ')[0]);
    self.postMessage({ready: true, variants});
  });
}

function zipFiles(files, dates) {
  const tree = {};
  const first = new Date(1980, 0, 1), last = new Date(2099, 11, 31);  // what a zip can hold
  for (const file of files) {
    const date = !dates ? first : file.mtime < first ? first : file.mtime > last ? last : file.mtime;
    // Made on Unix, so that unzip takes the names as the UTF-8 they are; read-write for the user.
    tree[file.path] = [file.bytes, {mtime: date, os: 3, attrs: 0o100644 * 65536}];
  }
  return zipSync(tree, {level: 6});
}

function geometry(disk) {
  if (disk.tracks === 0) return 'no track stored';
  const shape = `${disk.cylinders} × ${disk.heads} × ${disk.sectors_per_track} × ${disk.sector_size}`;
  return disk.departures.length > 0 ? `${shape}; ${disk.departures.join(', ')}` : shape;
}

function showInfo(info) {
  const section = $('dskinfo');
  const rows = section.querySelector('tbody');
  rows.replaceChildren();
  for (const disk of info.disks) {
    const row = document.createElement('tr');
    row.dataset.fileSystem = disk.file_system;
    const contents = disk.variant ? `${disk.file_system} (${disk.variant})` : disk.file_system;
    const files = disk.files === null ? '' : `${disk.files} file${disk.files === 1 ? '' : 's'}`;
    const cells = [`${String(disk.index).padStart(3, '0')} ${disk.name}`, contents, files,
                   `${disk.media}${disk.write_protected ? ', write-protected' : ''} (${info.container})`,
                   geometry(disk), disk.evidence,
                   disk.read_with || 'no program here reads this disk'];
    for (const text of cells) {
      const cell = document.createElement('td');
      cell.textContent = text;
      row.appendChild(cell);
    }
    rows.appendChild(row);
  }
  showText(section.querySelector('.problems'), info.problems);
  showSaveAs(info.disks, section.querySelector('.save-as'));
  section.hidden = false;
}

const EXTENSIONS = {d88: '.d88', fdi: '.fdi', dim: '.dim', nfd: '.nfd', imd: '.imd', fdd: '.fdd'};

// The containers that hold every disk whole (only D88 holds several), a button each.
function showSaveAs(disks, paragraph) {
  paragraph.querySelectorAll('button').forEach((button) => button.remove());
  const held = disks.length === 0 ? [] : disks.map((disk) => disk.held_by).reduce(
      (all, some) => all.filter((type) => some.includes(type)))
      .filter((type) => disks.length === 1 || type === 'd88');
  for (const type of held) {
    const disk = disks[0];
    const bytes = disk.cylinders * disk.heads * disk.sectors_per_track * disk.sector_size;
    const extension = EXTENSIONS[type] ||
        (bytes === 1261568 ? '.hdm' : bytes === 327680 ? '.2d' : '.img');
    const button = document.createElement('button');
    button.type = 'button';
    button.dataset.container = type;
    button.textContent = `${type === 'raw' ? 'raw dump' : type.toUpperCase()} (${extension})`;
    button.addEventListener('click', () => {
      worker.postMessage({convert: {name: image.name, type, file: baseName() + extension}});
    });
    paragraph.appendChild(button);
  }
  paragraph.hidden = held.length === 0;
}

// What dskconv wrote, downloaded; what it said, shown.
function showConverted(converted) {
  showText($('dskinfo').querySelector('.problems'), converted.problems);
  if (converted.bytes) download(converted.bytes, converted.file, 'application/octet-stream');
}

function download(bytes, name, type) {
  const url = URL.createObjectURL(new Blob([bytes], {type}));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

function baseName() { return image.name.replace(/\.[^.]*$/, '') || 'image'; }

// One sentence on what the program made of the image.
function summary(program, result) {
  const lines = result.problems.split('\n').filter((line) => line !== '');
  if (program.name === 'dskget') {
    if (result.files.length === 0 && lines.length > 0 &&
        lines.every((line) => / not a standard file system: | holds no disk: | not a disk image: /.test(line))) {
      return 'No disk here holds a standard file system.';
    }
  } else {
    const reason = lines.find((line) => / no directory: | holds no disk: |the disk holds /.test(line));
    const listed = program.name === 'dskcut'
        ? result.listing.split('\n').filter((line) => / [0-9a-f]{2} [0-9a-f]{2} [0-9a-f]{2} [0-9a-f]{2}$/.test(line)).length
        : result.listing.split('\n').filter((line) => line !== '').length;
    if (listed === 0 && reason) {
      return `Not a ${program.name} image: ${reason.slice(program.name.length + 2)}.`;
    }
  }
  const files = `${result.files.length} file${result.files.length === 1 ? '' : 's'}`;
  if (result.status === 0) return `${files}, all read in full from the disk.`;
  return `${files}; ${lines.length} problem${lines.length === 1 ? '' : 's'} reported below.`;
}

// `text` in `element`, hidden when empty.
function showText(element, text) {
  element.textContent = text;
  element.hidden = text === '';
}

// A program's listing and diagnostics in its section, each hidden when empty.
function showOutput(section, result) {
  showText(section.querySelector('.listing'), result.listing);
  showText(section.querySelector('.problems'), result.problems);
}

function show(program, result) {
  const section = $(program.name);
  section.querySelector('.summary').textContent = summary(program, result);
  showOutput(section, result);
  // Entries that an earlier disk left in the directory buffer, as the diagnostics name them.
  const stale = new Set();
  for (const line of result.problems.split('\n')) {
    const match = /^[a-z]+: (.*): directory entry \d+ was not read from this disk$/.exec(line);
    if (match) stale.add(match[1]);
  }
  const list = section.querySelector('.files');
  list.replaceChildren();
  for (const file of result.files) {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    const note = stale.has(file.path) ? ', not read from its disk' : '';
    button.textContent = `${file.path} (${file.bytes.length} bytes${note})`;
    button.addEventListener('click', () => {
      // The folders stay in the name, so that two disks' files of one name stay apart.
      download(file.bytes, file.path.replaceAll('/', '_'), 'application/octet-stream');
    });
    item.appendChild(button);
    list.appendChild(item);
  }
  const all = section.querySelector('.download-all');
  all.disabled = result.files.length === 0;
  section.hidden = false;
}

function options(program) {
  if (program.name !== 'dskcut') return [];
  const chosen = [];
  if ($('option-d').checked) chosen.push('-d');
  if ($('option-2').checked) chosen.push('-2');
  return chosen;
}

// Sends the image to the worker with the options chosen; the answer is shown when it comes. Until
// then the previous image's buttons are disabled.
function extract() {
  if (image === null || worker === null) return;
  requested += 1;
  for (const button of document.querySelectorAll('section button')) button.disabled = true;
  $('status').textContent = `${image.name}: reading ${image.bytes.length} bytes…`;
  document.body.setAttribute('aria-busy', 'true');
  worker.postMessage({
    name: image.name,
    bytes: image.bytes,
    time: image.time,
    programs: PROGRAMS.map((program) => ({...program, options: options(program)})),
  });
}

// The sections of the programs that read the image's disks stay open; the others go behind the
// "read as another program" control.
function place(readers) {
  const others = $('others');
  for (const program of PROGRAMS) {
    const section = $(program.name);
    if (readers.includes(program.name)) {
      others.before(section);
    } else {
      others.appendChild(section);
    }
  }
  others.hidden = others.querySelector('section') === null;
  others.open = false;
}

function showAnswer(answer) {
  answered += 1;
  showInfo(answer.info);
  container = answer.info.container;
  $('put-new').disabled = false;
  $('put-add').disabled = !answer.info.disks.some((disk) => disk.read_with === 'dskget');
  results = answer.results;
  place(answer.readers);
  for (const program of PROGRAMS) show(program, results[program.name]);
  window.timing = {extractMs: answer.extractMs};
  if (answered === requested) {
    $('status').textContent = `${image.name}: ${image.bytes.length} bytes read.`;
    document.body.removeAttribute('aria-busy');
  }
  document.body.dataset.runs = String(answered);
}

async function open(file) {
  // The name as the programs are given it: "-" would mean standard input.
  let name = file.name.replace(/[\/\\]/g, '_') || 'image.d88';
  if (name === '-') name = './-';
  image = {name, bytes: new Uint8Array(await file.arrayBuffer()), time: file.lastModified};
  extract();
}

// dskput: the files chosen, onto a new disk of the variant chosen (as D88 or a raw dump), or onto a
// copy of the image read (in its own container where dskput writes it, else D88).
const WRITTEN = ['d88', 'raw', 'fdi', 'dim', 'nfd', 'imd', 'fdd'];
let container = null;  // the image's, as dskinfo named it

async function putFiles(onImage) {
  const chosen = [...$('put-files').files];
  const files = [];
  for (const file of chosen) {
    files.push({name: file.name.replace(/[\/\\]/g, '_') || 'file', time: file.lastModified,
                bytes: new Uint8Array(await file.arrayBuffer())});
  }
  let words, file;
  if (onImage) {
    const own = /\.[^.]*$/.exec(image.name);
    const extension = WRITTEN.includes(container) && own ? own[0] : '.d88';
    file = `${baseName()}-added${extension}`;
    words = [image.name, '-o', '/out/' + file];
  } else {
    const variant = $('put-variant').value;
    file = `new-${variant.replace(':', '-')}${$('put-container').value}`;
    words = ['-n', variant, '/out/' + file];
  }
  $('dskput').querySelector('.problems').hidden = true;
  worker.postMessage({put: {words, files, file}});
}

// What dskput said, shown; what it wrote, downloaded.
function showPut(result) {
  showOutput($('dskput'), result);
  document.body.dataset.puts = String(Number(document.body.dataset.puts || 0) + 1);
  if (result.bytes) download(result.bytes, result.file, 'application/octet-stream');
}

// Archives by their names, as the programs know them.
const ARCHIVE = /\.(zip|7z|lzh|lha|cab|rar|tar|tgz|tbz2?|txz|tar\.(gz|bz2|xz))$/i;

// Every file below an entry dropped (a file, or a folder and everything in it), each with its path
// from the folder that holds what was dropped.
async function entriesBelow(entry, prefix, found) {
  if (entry.isFile) {
    found.push({path: prefix + entry.name,
                file: await new Promise((resolve, reject) => entry.file(resolve, reject))});
  } else if (entry.isDirectory) {
    const reader = entry.createReader();
    for (let batch; (batch = await new Promise((ok, no) => reader.readEntries(ok, no))).length > 0;) {
      for (const child of batch) await entriesBelow(child, prefix + entry.name + '/', found);
    }
  }
  return found;
}

// One image alone is read by every program; several files, a folder or an archive as a collection.
function take(entries) {
  if (entries.length === 0) return;
  if (entries.length === 1 && !entries[0].path.includes('/') && !ARCHIVE.test(entries[0].path)) {
    $('catalogue').hidden = true;
    open(entries[0].file);
  } else {
    readCollection(entries);
  }
}

// The worker that reads archives: the module with libarchive, from archives.js, loaded the first
// time an archive is dropped; it then does all the work.
let archivesLoaded = null;
let onReady = null;
function loadArchives() {
  if (archivesLoaded === null) {
    archivesLoaded = new Promise((resolve) => {
      const script = document.createElement('script');
      script.src = 'archives.js';
      script.onload = () => {
        onReady = resolve;
        worker.terminate();
        /* global createArchivePrograms */
        worker = startWorker(createArchivePrograms);
      };
      script.onerror = () => {
        archivesLoaded = null;
        resolve(false);
      };
      document.head.appendChild(script);
    });
  }
  return archivesLoaded;
}

let collection = null;  // the collection shown: its paths, images, texts, files and sort order

async function readCollection(entries) {
  const paths = [...new Set(entries.map((entry) => entry.path.split('/')[0]))].sort();
  const name = paths.length === 1 ? paths[0].replace(/\.[^.]*$/, '') || 'collection' : 'collection';
  const archives = entries.some((entry) => ARCHIVE.test(entry.path));
  for (const id of ['dskinfo', 'dskget', 'dskcut', 'dskpull', 'others']) $(id).hidden = true;
  const section = $('catalogue');
  section.hidden = false;
  for (const button of section.querySelectorAll('button')) button.disabled = true;
  document.body.setAttribute('aria-busy', 'true');
  $('status').textContent = `Reading ${entries.length} file${entries.length === 1 ? '' : 's'}…`;
  const progress = $('progress');
  // Images done of those found: an archive's images are known only as it is read.
  if (archives) progress.removeAttribute('value'); else progress.value = 0;
  progress.max = archives ? 1 : entries.length;
  $('progress-text').textContent = archives ? 'Loading the archive reader…' : '0 images read';
  if (archives && !(await loadArchives())) {
    $('progress-text').textContent = 'The archive reader (archives.js) could not be loaded.';
    document.body.removeAttribute('aria-busy');
    return;
  }
  collection = {name, paths, archives};
  worker.postMessage({collection: {entries, paths}});
}

function showProgress(done) {
  if (!collection.archives) $('progress').value = Math.min(done, $('progress').max);
  $('progress-text').textContent = `${done} image${done === 1 ? '' : 's'} read`;
}

// What an image's disks hold, and the damage said of it.
function describe(image) {
  const disks = image.disks || [];
  const systems = disks.map((disk) => disk.file_system || 'unknown').join(', ');
  const files = disks.reduce((sum, disk) => sum + (disk.files || 0), 0);
  const damaged = disks.reduce((sum, disk) =>
    sum + (disk.file_list || []).filter((file) => file.damage !== null).length, 0);
  const damage = image.error ? image.error
      : damaged > 0 ? `${damaged} file${damaged === 1 ? '' : 's'} damaged` : '';
  return {path: image.path, container: image.container || '', systems, files, damage};
}

function showCatalogue() {
  const rows = $('catalogue').querySelector('tbody');
  rows.replaceChildren();
  const {sortKey, descending} = collection;
  const order = collection.images.map((image, index) => ({image, index, row: describe(image)}));
  if (sortKey) {
    order.sort((a, b) => {
      const x = a.row[sortKey], y = b.row[sortKey];
      const compared = typeof x === 'number' ? x - y : String(x).localeCompare(String(y));
      return (descending ? -compared : compared) || a.index - b.index;
    });
  }
  for (const {image, row} of order) {
    const line = document.createElement('tr');
    line.dataset.path = image.path;
    line.tabIndex = 0;
    for (const key of ['path', 'container', 'systems', 'files', 'damage']) {
      const cell = document.createElement('td');
      cell.textContent = String(row[key]);
      line.appendChild(cell);
    }
    const toggle = () => {
      if (line.nextSibling && line.nextSibling.classList.contains('image-files')) {
        line.nextSibling.remove();
        return;
      }
      line.after(imageFiles(image));
    };
    line.addEventListener('click', toggle);
    line.addEventListener('keydown', (event) => { if (event.key === 'Enter') toggle(); });
    rows.appendChild(line);
  }
}

// An image's files, disk by disk, with their sizes and hashes, as dskinfo --files gives them.
function imageFiles(image) {
  const line = document.createElement('tr');
  line.className = 'image-files';
  const cell = document.createElement('td');
  cell.colSpan = 5;
  const table = document.createElement('table');
  for (const disk of image.disks || []) {
    for (const file of disk.file_list || []) {
      const row = document.createElement('tr');
      const damage = file.damage === null ? '' : file.damage;
      for (const text of [`${disk.folder}/${file.path}`, `${file.size} bytes`, file.crc32,
                          file.sha1, damage]) {
        const td = document.createElement('td');
        td.textContent = text;
        row.appendChild(td);
      }
      table.appendChild(row);
    }
  }
  cell.appendChild(table);
  line.appendChild(cell);
  return line;
}

function showCollection(answer) {
  const {catalogue, datafile, extracted} = answer;
  const listing = catalogue.listing.split('\n').filter((line) => line !== '');
  Object.assign(collection, {images: listing.map((line) => JSON.parse(line)),
                             catalogue: catalogue.listing, datafile: datafile.listing,
                             files: extracted.files});
  const section = $('catalogue');
  showCatalogue();
  showText(section.querySelector('.problems'), catalogue.problems);
  showText(section.querySelector('.listing'), extracted.listing);
  showText(section.querySelector('.extract-problems'), extracted.problems);
  for (const button of section.querySelectorAll('button')) button.disabled = false;
  $('download-everything').disabled = extracted.files.length === 0;
  const count = collection.images.length;
  $('progress').max = Math.max(count, 1);
  $('progress').value = count;
  $('progress-text').textContent = `${count} image${count === 1 ? '' : 's'} read, ` +
      `${extracted.files.length} file${extracted.files.length === 1 ? '' : 's'} taken out.`;
  $('status').textContent = `${collection.paths.join(', ')}: read.`;
  window.memory = answer.memory;
  document.body.removeAttribute('aria-busy');
  document.body.dataset.collections = String(Number(document.body.dataset.collections || 0) + 1);
}

function startCatalogue() {
  for (const header of $('catalogue').querySelectorAll('th')) {
    header.addEventListener('click', () => {
      if (!collection || !collection.images) return;
      const key = header.dataset.key;
      collection.descending = collection.sortKey === key && !collection.descending;
      collection.sortKey = key;
      showCatalogue();
    });
  }
  $('download-jsonl').addEventListener('click', () => {
    download(new TextEncoder().encode(collection.catalogue), `${collection.name}.jsonl`,
             'application/jsonl');
  });
  $('download-dat').addEventListener('click', () => {
    download(new TextEncoder().encode(collection.datafile), `${collection.name}.dat`,
             'application/xml');
  });
  $('download-everything').addEventListener('click', () => {
    download(zipFiles(collection.files, true), `${collection.name}.zip`, 'application/zip');
  });
}

// The worker that runs `factory`: the module's factory, given to it as source text with the
// worker's code; a worker made from text works from a plain folder too, where one made from a file
// is refused.
function startWorker(factory) {
  const source = `var _scriptDir;\nvar createPrograms = ${factory.toString()};\n` +
                 `(${runner.toString()})();\n`;
  const started = new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
  started.onmessage = onWorkerMessage;
  return started;
}

let ready = false;
function onWorkerMessage(event) {
  if (event.data.ready) {
    if (onReady) {
      onReady(true);
      onReady = null;
    }
    if (ready) return;
    ready = true;
    for (const id of ['image', 'folder']) $(id).disabled = false;
    $('status').textContent = 'Ready: choose or drop a disk image, several, a folder or an archive.';
    for (const variant of event.data.variants) {
      const option = document.createElement('option');
      option.value = option.textContent = variant;
      $('put-variant').appendChild(option);
    }
    $('put-files').disabled = false;
    $('put-new').disabled = false;
  } else if (event.data.progress) {
    showProgress(event.data.progress);
  } else if (event.data.collection) {
    showCollection(event.data.collection);
  } else if (event.data.put) {
    showPut(event.data.put);
  } else if (event.data.converted) {
    showConverted(event.data.converted);
  } else {
    showAnswer(event.data);
  }
}

function startPage() {
  const input = $('image');
  input.addEventListener('change', () => {
    take([...input.files].map((file) => ({path: file.name.replace(/[\/\\]/g, '_'), file})));
  });
  const folder = $('folder');
  folder.addEventListener('change', () => {
    take([...folder.files].map((file) => ({path: file.webkitRelativePath || file.name, file})));
  });
  const zone = $('drop');
  zone.addEventListener('dragover', (event) => { event.preventDefault(); zone.classList.add('over'); });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', async (event) => {
    event.preventDefault();
    zone.classList.remove('over');
    const dropped = [...event.dataTransfer.items].map((item) => item.webkitGetAsEntry())
        .filter((entry) => entry !== null);
    const entries = [];
    for (const entry of dropped) await entriesBelow(entry, '', entries);
    take(entries);
  });
  for (const id of ['option-d', 'option-2']) $(id).addEventListener('change', extract);
  $('put-new').addEventListener('click', () => putFiles(false));
  $('put-add').addEventListener('click', () => putFiles(true));
  for (const program of PROGRAMS) {
    $(program.name).querySelector('.download-all').addEventListener('click', () => {
      const zip = zipFiles(results[program.name].files, program.dates);
      download(zip, `${baseName()}-${program.name}.zip`, 'application/zip');
    });
  }
  startCatalogue();
  /* global createPrograms */
  worker = startWorker(createPrograms);
}

startPage();
