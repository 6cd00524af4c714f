#!/usr/bin/python3
"""Counts the results in JUnit-style XML, as CTest (--output-junit) and GoogleTest
(--gtest_output=xml) write them, the one way every configuration is counted.

usage: results.py FILE.xml [EXIT_CODE]
Prints "PASSED FAILED SKIPPED" on the first line, then the name of each failed test.
A missing or unreadable file counts as one failure, and so does a program that exited
with another code than 0 while its XML shows no failure.
"""
import sys
import xml.etree.ElementTree as ET

passed, failed, skipped, names = 0, 0, 0, []
try:
    for case in ET.parse(sys.argv[1]).iter('testcase'):
        name = case.get('name') if case.get('classname') in (None, case.get('name')) else case.get('classname') + '.' + case.get('name')
        if case.find('failure') is not None or case.find('error') is not None or case.get('status') == 'fail':
            failed += 1
            names.append(name)
        elif case.find('skipped') is not None or case.get('result') == 'skipped' or case.get('status') in ('notrun', 'disabled'):
            skipped += 1
        else:
            passed += 1
except (OSError, ET.ParseError) as e:
    failed += 1
    names.append('no results: %s' % e)
if len(sys.argv) > 2 and sys.argv[2] != '0' and failed == 0:
    failed += 1
    names.append('the program ended with %s' % sys.argv[2])
print(passed, failed, skipped)
for n in names:
    print(n)
