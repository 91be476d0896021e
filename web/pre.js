// Set before the module starts: the programs' standard output and error are kept as bytes for
// the page, and the page starts when the runtime is ready.
var captured = {out: [], err: []};
var Module = {
  stdin: function () { return null; },
  stdout: function (byte) { if (byte !== null) captured.out.push(byte); },
  stderr: function (byte) { if (byte !== null) captured.err.push(byte); },
  onRuntimeInitialized: function () { startPage(); },
};
