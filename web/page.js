// The page: runs dskinfo, dskget, dskcut and dskpull, compiled from the programs' own code, on a
// dropped image, in a worker (the module's in-memory file system lives there), so that a large
// image leaves the page responsive; shows what each disk holds, what the programs list and
// report, zips what they write when asked, saves the image in each container that holds it whole
// (dskconv), and writes files onto a new disk or a copy of the image (dskput). Nothing leaves the
// browser.
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
  createPrograms({
    stdin: () => null,
    stdout: (byte) => { if (byte !== null) captured.out.push(byte); },
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
    const run = (number, words) => {
      FS.chdir('/in');
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
    self.onmessage = (event) => {
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
  const problems = section.querySelector('.problems');
  problems.textContent = info.problems;
  problems.hidden = info.problems === '';
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
  const problems = $('dskinfo').querySelector('.problems');
  problems.textContent = converted.problems;
  problems.hidden = converted.problems === '';
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

// A program's listing and diagnostics in its section, each hidden when empty.
function showOutput(section, result) {
  const listing = section.querySelector('.listing');
  listing.textContent = result.listing;
  listing.hidden = result.listing === '';
  const problems = section.querySelector('.problems');
  problems.textContent = result.problems;
  problems.hidden = result.problems === '';
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

function startPage() {
  const input = $('image');
  input.addEventListener('change', () => { if (input.files.length > 0) open(input.files[0]); });
  const zone = $('drop');
  zone.addEventListener('dragover', (event) => { event.preventDefault(); zone.classList.add('over'); });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (event) => {
    event.preventDefault();
    zone.classList.remove('over');
    if (event.dataTransfer.files.length > 0) open(event.dataTransfer.files[0]);
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
  // The worker runs the module's factory, given to it as source text with the worker's code; a
  // worker made from text works from a plain folder too, where one made from a file is refused.
  const source = `var _scriptDir;\nvar createPrograms = ${createPrograms.toString()};\n` +
                 `(${runner.toString()})();\n`;
  worker = new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
  worker.onmessage = (event) => {
    if (event.data.ready) {
      input.disabled = false;
      $('status').textContent = 'Ready: choose or drop a disk image.';
      for (const variant of event.data.variants) {
        const option = document.createElement('option');
        option.value = option.textContent = variant;
        $('put-variant').appendChild(option);
      }
      $('put-files').disabled = false;
      $('put-new').disabled = false;
    } else if (event.data.put) {
      showPut(event.data.put);
    } else if (event.data.converted) {
      showConverted(event.data.converted);
    } else {
      showAnswer(event.data);
    }
  };
}

startPage();
