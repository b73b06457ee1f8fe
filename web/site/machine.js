// The machine's controls: one for each option the simulator lists (a box for
// a flag, a menu for a choice, a number field for a number), built from that
// list, so that the page spells no option of its own. The machine they
// choose is the JSON `machine` object of the report and of exercise files.
'use strict';

// eslint-disable-next-line no-unused-vars
const fivestageMachine = (() => {
  let options = [];
  const control = (option) => document.getElementById(option.key);

  // `value` where `option` takes it, else undefined.
  function accepted(option, value) {
    if (option.kind === 'flag') return typeof value === 'boolean' ? value : undefined;
    if (option.kind === 'choice') return option.choices.includes(value) ? value : undefined;
    const inRange = Number.isInteger(value) && value >= option.lowest && value <= option.highest;
    return inRange && (!option.powerOfTwo || Number.isInteger(Math.log2(value))) ? value : undefined;
  }

  function input(option) {
    if (option.kind === 'choice') {
      const select = document.createElement('select');
      for (const choice of option.choices) select.add(new Option(choice, choice));
      return select;
    }
    const field = document.createElement('input');
    field.type = option.kind === 'flag' ? 'checkbox' : 'number';
    if (option.kind === 'number') Object.assign(field, { min: option.lowest, max: option.highest });
    return field;
  }

  // What a control holds; a number field holding no number the option takes holds its default.
  function valueOf(option) {
    const element = control(option);
    if (option.kind === 'flag') return element.checked;
    if (option.kind === 'choice') return element.value;
    return accepted(option, Number(element.value)) ?? option.default;
  }

  // The machine the controls choose, each option under its key.
  const chosen = () => Object.fromEntries(options.map((option) => [option.key, valueOf(option)]));

  // Sets the controls to `machine`: an option it leaves out, or gives a value
  // the option does not take, is at its default. A machine kept or linked to
  // before an option existed so opens as it did.
  function show(machine) {
    for (const option of options) {
      const value = accepted(option, machine?.[option.key]) ?? option.default;
      if (option.kind === 'flag') control(option).checked = value; else control(option).value = String(value);
    }
  }

  // Keeps the rules between the options after a change to `option`: an
  // option away from its default turns on the flag it needs, and a flag
  // turned off puts the options that need it back to their default.
  function keepNeeds(option) {
    const needed = options.find((other) => other.key === option.needs);
    if (needed && valueOf(option) !== option.default) control(needed).checked = true;
    if (option.kind !== 'flag' || valueOf(option)) return;
    for (const other of options.filter((other) => other.needs === option.key)) control(other).value = String(other.default);
  }

  // Builds the controls of `listed`, the simulator's list of the options,
  // into `group`, on the machine without options; `changed()` hears each change.
  function build(group, listed, changed) {
    options = listed;
    group.replaceChildren(...options.map((option) => {
      const label = document.createElement('label');
      label.title = option.title;
      const element = input(option);
      element.id = option.key;
      element.addEventListener('change', () => {
        keepNeeds(option);
        changed();
      });
      if (option.kind === 'flag') label.append(element, ` ${option.name}`); else label.append(`${option.name} `, element);
      return label;
    }));
    show(null);
  }

  // Locks the controls on `machine`, an exercise's own, or frees them (null).
  function lock(machine) {
    if (machine) show(machine);
    for (const option of options) control(option).disabled = Boolean(machine);
  }

  // The controls' settings in words: "forwarding on, flush off".
  const summary = () => options.map((option) => {
    const value = valueOf(option);
    return `${option.name} ${option.kind === 'flag' ? (value ? 'on' : 'off') : value}`;
  }).join(', ');

  // Whether two machine objects choose the same machine.
  const same = (a, b) => options.every((option) => a?.[option.key] === b?.[option.key]);

  return { build, chosen, show, lock, summary, same };
})();
