#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: card_download
short_description: Saves the program a Trevna-2.2 card holds as a document file
description:
  - Reads the SHA-256 of the card's program and downloads the program into I(path) as a C(.trv) document
    unless I(path) already holds exactly those bytes.
  - The file appears only when it is complete; its folder is made when missing.
author: TrevnaConf team (@trevnaconf)
extends_documentation_fragment:
  - trevna.cards.trevnactl
options:
  path:
    description:
      - The document file on the controller.
    type: path
    required: true
attributes:
  check_mode:
    support: full
    description: Compares the card's program with the file; downloads nothing.
  diff_mode:
    support: none
    description: Nothing to show.
'''

EXAMPLES = r'''
- name: Keep every card's program
  trevna.cards.card_download:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"
    path: "/srv/trevna/{{ inventory_hostname }}/program.trv"
'''

RETURN = r'''
path:
  description: The document file.
  returned: success
  type: str
program_sha256:
  description: SHA-256 of the card's program.
  returned: success
  type: str
step:
  description: The last step reached (C(done) on success).
  returned: always
  type: str
message:
  description: trevnactl's own text for the result.
  returned: always
  type: str
'''

import hashlib
import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.trevna.cards.plugins.module_utils.trevnactl import (
    Trevnactl, card_argument_spec)


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, 'rb') as handle:
        for block in iter(lambda: handle.read(1 << 16), b''):
            digest.update(block)
    return digest.hexdigest()


def main():
    module = AnsibleModule(argument_spec=card_argument_spec(path=dict(type='path', required=True)),
                           supports_check_mode=True)
    ctl = Trevnactl(module)
    path = module.params['path']
    facts = ctl.card('facts')
    card_sha = facts.get('program_sha256')
    if card_sha is None:
        module.fail_json(msg='the card holds no program', step=facts.get('step'))
    if os.path.isfile(path) and sha256_of(path).lower() == card_sha.lower():
        module.exit_json(changed=False, path=path, program_sha256=card_sha, step=facts.get('step'),
                         message=facts.get('message'))
    if module.check_mode:
        module.exit_json(changed=True, path=path, program_sha256=card_sha, step='', message='')
    folder = os.path.dirname(path)
    if folder and not os.path.isdir(folder):
        os.makedirs(folder)
    answer = ctl.card('download-program', [module.params['host'], path])
    module.exit_json(changed=True, path=path, program_sha256=answer.get('program_sha256', card_sha),
                     step=answer.get('step'), message=answer.get('message'))


if __name__ == '__main__':
    main()
