#!/usr/bin/env python3
"""Refreshes the language files in resources/Language.

default.lng (the start-up language, Russian) lists every text the program
shows, as the program writes it: the captions, entries and set titles of the
device description and every tr()/translate() text of configurator/ and its
forms. english.lng gets the same list; translations already in it are kept,
new texts get an empty translation and are printed, so that a translator
sees what is left to do.

    python3 tools/lang/update-language-files.py
"""
import json, os, re, glob, sys
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

root_dir = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
os.chdir(root_dir)
cyr = re.compile('[А-Яа-яЁё]')
# Contexts the code uses for a file's texts (Q_DECLARE_TR_FUNCTIONS and helpers).
context_of_file = {'HrcDocument': 'HrcTree', 'WizardGraphPages': 'Wizard', 'WizardPages': 'Wizard', 'WizardWindow': 'Wizard', 'HrcTreeWorkers': 'HrcTree'}
texts = {}

def add(ctx, t):
    if t and cyr.search(t):
        texts.setdefault(ctx, [])
        if t not in texts[ctx]:
            texts[ctx].append(t)

def unescape(s):
    return bytes(s, 'utf-8').decode('unicode_escape').encode('latin1').decode('utf-8')

def joined(literals):
    return unescape(''.join(re.findall(r'"((?:[^"\\]|\\.)*)"', literals)))

description = ET.parse('resources/hrc417.xml').getroot()
for e in description.iter():
    if e.tag == 'title':
        add('HrcTree', e.text or '')
    if e.tag in ('parameter', 'X', 'Y'):
        add('HrcTree', e.get('label', ''))
        valueset = e.get('valueset', '')
        add('HrcTree', valueset)          # enumerations by index translate the whole list
        for entry in valueset.split(';'):
            add('HrcTree', entry)         # the others entry by entry

literal = r'((?:"(?:[^"\\]|\\.)*"\s*)+)'
for f in sorted(glob.glob('configurator/**/*.cpp', recursive=True) + glob.glob('configurator/**/*.h', recursive=True)):
    t = open(f, encoding='utf-8').read()
    base = os.path.splitext(os.path.basename(f))[0]
    ctx = context_of_file.get(base, base)
    for s in re.findall(r'\btr\(\s*' + literal, t):
        add(ctx, joined(s))
    # Helpers that pass a literal to translate() with the file's own context.
    for s in re.findall(r'(?<![\w>.])(?:text|codecText)\(\s*' + literal, t):
        add(ctx, joined(s))
    for c, s in re.findall(r'(?:translate|QT_TRANSLATE_NOOP)\(\s*"(\w+)"\s*,\s*' + literal, t):
        add(c, joined(s))
    # Texts the wizard's stages set through setStageText or pick from tables.
    for s in re.findall(r'setStageText\([^,]+,\s*' + literal, t):
        add('Wizard', joined(s))
    for s in re.findall(r'const char \*(?:list|text) = "((?:[^"\\]|\\.)*)"|\btext = "((?:[^"\\]|\\.)*)"', t):
        add('Wizard', unescape(s[0] or s[1]))
for f in sorted(glob.glob('configurator/forms/*.ui')):
    form = ET.parse(f).getroot()
    cls = form.find('class').text
    for s in form.iter('string'):
        if s.get('notr') != 'true':
            add(cls, s.text or '')

def read_translations(path):
    found = {}
    if os.path.exists(path):
        for message in ET.parse(path).getroot().iter('message'):
            source = message.findtext('source') or ''
            translation = message.findtext('translation') or ''
            if translation:
                found[source] = translation
    return found

def write(path, name, flag, locale, translate):
    out = ['<?xml version="1.0" encoding="UTF-8"?>', '<language>',
           f'  <info name="{name}" flag="{flag}" locale="{locale}"/>']
    for ctx, sources in texts.items():
        out += ['  <context>', f'    <name>{ctx}</name>']
        for s in sources:
            out.append(f'    <message><source>{escape(s)}</source><translation>{escape(translate(s))}</translation></message>')
        out.append('  </context>')
    out.append('</language>')
    with open(path, 'w', encoding='utf-8') as fh:
        fh.write('\n'.join(out) + '\n')

write('resources/Language/default.lng', 'Русский', 'ru.png', 'ru', lambda s: s)
english = read_translations('resources/Language/english.lng')
missing = sorted({s for v in texts.values() for s in v if s not in english})
write('resources/Language/english.lng', 'English', 'en.png', 'en', lambda s: english.get(s, ''))
for s in missing:
    print('untranslated:', repr(s))
sys.exit(1 if missing else 0)
