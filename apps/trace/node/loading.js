// Loading the program: its WebAssembly is the .wasm file beside this script.
var Module = {
  // The module compiled and started at once, with one clear message and status
  // 2 when the file is missing or belongs to another build.
  instantiateWasm(imports, receiveInstance) {
    const fs = require("fs");
    const path = require("path");
    const file = path.join(__dirname, path.basename(__filename, ".js") + ".wasm");
    let bytes;
    try {
      bytes = fs.readFileSync(file);
    } catch (e) {
      zmEnding.fail(`cannot read the program's WebAssembly ${JSON.stringify(file)}: ${e.code || e.message}; it belongs beside ${path.basename(__filename)}`, 2);
    }
    let module;
    try {
      module = new WebAssembly.Module(bytes);
    } catch (e) {
      zmEnding.fail(`cannot load the program's WebAssembly ${JSON.stringify(file)}: ${e.message}; build it again (scripts/web)`, 2);
    }
    let instance;
    try {
      instance = new WebAssembly.Instance(module, imports);
    } catch (e) {
      zmEnding.fail(`cannot start the program's WebAssembly: ${e.message}; the .js and .wasm files must come from one build`, 2);
    }
    // The runtime wraps the exports so that the program can pause and resume
    // (asyncify), and those wrapped exports are the ones to call. Newer
    // runtimes take what this returns as the exports and receiveInstance
    // returns the wrapped ones; older ones wrap what this returns themselves
    // and receiveInstance returns nothing.
    return receiveInstance(instance, module) || instance.exports;
  },
};
