// Bundles the example input folders for the page: every file of every folder
// under examples/ that is an input folder (it holds a src.txt), as text, keyed by
// folder and relative path. The exercises and the platforms' set-ups are not inputs.
// Usage: node make-examples.mjs EXAMPLES_DIR OUTPUT_JS
import { existsSync, readdirSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { join, relative, sep } from 'node:path';

const [examplesDir, output] = process.argv.slice(2);

function filesOf(folder) {
  const files = {};
  const walk = (dir) => {
    for (const name of readdirSync(dir).sort()) {
      const path = join(dir, name);
      if (statSync(path).isDirectory()) {
        walk(path);
      } else {
        files[relative(folder, path).split(sep).join('/')] = readFileSync(path, 'utf8');
      }
    }
  };
  walk(folder);
  return files;
}

const examples = {};
for (const name of readdirSync(examplesDir).sort()) {
  if (existsSync(join(examplesDir, name, 'src.txt'))) examples[name] = filesOf(join(examplesDir, name));
}
writeFileSync(output, `// Generated from examples/ by make-examples.mjs.\nwindow.fivestageExamples = ${JSON.stringify(examples, null, 1)};\n`);
