// Writes a script of the page in fewer bytes for the browser to load: the
// same code with short local names and no comments or blanks (terser, from
// Debian's node-terser). The sources stay as they are, for people to read.
// Usage: node minify.mjs SOURCE TARGET   (NODE_PATH=/usr/share/nodejs)
import { readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';

const { minify } = createRequire(import.meta.url)('terser');
const [source, target] = process.argv.slice(2);
const { code } = await minify(readFileSync(source, 'utf8'), { ecma: 2020, compress: true, mangle: true });
writeFileSync(target, code);
