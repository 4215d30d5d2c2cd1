#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: card_program
short_description: Programs a Trevna-2.2 card with a document, only when its program differs
description:
  - Validates the document, reads the program the card holds and compares it byte for byte with the
    document's program. Only when they differ is the program uploaded, put in place and the card restarted.
  - Idempotent; a second run with the same document changes nothing.
  - In check mode the card's program is read and compared, never uploaded; C(changed) says whether a run
    would program the card.
  - In diff mode the output script of the card's program is shown against the document's.
author: TrevnaConf team (@trevnaconf)
extends_documentation_fragment:
  - trevna.cards.trevnactl
  - trevna.cards.trevnactl.restart
options:
  document:
    description:
      - The C(.trv) document on the controller whose program the card should run.
    type: path
    required: true
attributes:
  check_mode:
    support: full
    description: Reads and compares the card's program, uploads nothing.
  diff_mode:
    support: full
    description: Output script of the card's program (before) against the document's (after).
'''

EXAMPLES = r'''
- name: Program the approved document
  trevna.cards.card_program:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"
    document: files/skrzyzowanie.trv

- name: Which cards would change, with the output scripts
  trevna.cards.card_program:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"
    document: files/skrzyzowanie.trv
  check_mode: true
  diff: true
'''

RETURN = r'''
uploaded:
  description: The program was sent to the card.
  returned: success
  type: bool
program_sha256:
  description: SHA-256 of the document's program.
  returned: success
  type: str
program_size:
  description: Size in bytes of the document's program.
  returned: success
  type: int
card_sha256:
  description: SHA-256 of the program the card held before.
  returned: success
  type: str
diff:
  description: In diff mode, the output scripts of the card's program (before) and of the document's (after).
  returned: success and diff mode
  type: dict
  sample: {before: "Y1 = A1\n", after: "Y1 = (A1 & B2)\n"}
step:
  description: The last step reached (C(done) on success).
  returned: always
  type: str
message:
  description: trevnactl's own text for the result.
  returned: always
  type: str
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.trevna.cards.plugins.module_utils.trevnactl import (
    Trevnactl, card_argument_spec, found, restart_step_option)


def main():
    module = AnsibleModule(
        argument_spec=card_argument_spec(document=dict(type='path', required=True),
                                         restart_step_ms=dict(type='int')),
        supports_check_mode=True)
    document = module.params['document']
    if not os.path.isfile(document):
        module.fail_json(msg='document not found: %s' % document)
    options = ['--if-different'] + restart_step_option(module)
    if module.check_mode:
        options.append('--check')
    if module._diff:
        options.append('--diff')
    answer = Trevnactl(module).card('program', [module.params['host'], document], options)
    result = found(answer)
    result['changed'] = bool(answer.get('changed'))
    diff = result.pop('diff', None)
    if module._diff and isinstance(diff, dict):
        result['diff'] = dict(before=diff.get('before', ''), after=diff.get('after', ''),
                              before_header='%s: compose.txt' % module.params['host'],
                              after_header='%s: compose.txt' % document)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
