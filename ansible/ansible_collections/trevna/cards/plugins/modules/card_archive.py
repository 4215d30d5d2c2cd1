#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: card_archive
short_description: Downloads the archive recordings of a Trevna-2.2 card not fetched yet
description:
  - Downloads every archive folder of the card into a folder of its own on the controller,
    I(dest)/I(name)/DAY/FILE, skipping the files that are there already with the card's size.
  - C(changed) says whether anything was downloaded; a second run finds nothing new.
author: TrevnaConf team (@trevnaconf)
extends_documentation_fragment:
  - trevna.cards.trevnactl
options:
  dest:
    description:
      - Folder on the controller that holds one folder per card; made when missing.
    type: path
    required: true
  name:
    description:
      - Name of this card's folder under I(dest). I(host) when omitted; C(inventory_hostname) is a good choice.
    type: str
attributes:
  check_mode:
    support: full
    description: Lists the card's archive and compares it with the folder by name (and by size where the listing
      gives one); downloads nothing.
  diff_mode:
    support: none
    description: Nothing to show.
'''

EXAMPLES = r'''
- name: Fetch the new recordings of every card
  trevna.cards.card_archive:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"
    dest: /srv/trevna/archive
    name: "{{ inventory_hostname }}"
'''

RETURN = r'''
path:
  description: The card's folder on the controller.
  returned: success
  type: str
files:
  description: The files of the card's archive, with C(skipped) for those already there (in check mode,
    those a run would skip).
  returned: success
  type: list
  elements: dict
  sample: [{name: A_080000.avi, path: /srv/trevna/archive/card01/2026-12-07/A_080000.avi, size: 52224, skipped: true}]
downloaded:
  description: How many files were downloaded (in check mode, would be).
  returned: success
  type: int
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
    Trevnactl, card_argument_spec)


def safe_part(module, value, what):
    if not value or value in ('.', '..') or '/' in value or '\\' in value or '\0' in value:
        module.fail_json(msg='unsafe %s: %r' % (what, value))
    return value


def planned(module, ctl, folder_path):
    """What a run would do: the card's listing against the files on disk."""
    host = module.params['host']
    # The listing holds the day folders ("2026-12-07/") and the archive's own files.
    folders = [entry for entry in ctl.card('archive').get('folders') or [] if entry.endswith('/')]
    files = []
    for folder in folders:
        folder_name = safe_part(module, folder.rstrip('/'), 'archive folder name')
        listing = ctl.card('archive', [host, folder]).get('files') or []
        for entry in listing:
            name = safe_part(module, entry.get('name', ''), 'archive file name')
            path = os.path.join(folder_path, folder_name, name)
            # The card's listing may not say the size (it is known once a transfer starts): then a
            # file that is there counts as fetched, as a run would find out.
            size = entry.get('size')
            skipped = os.path.isfile(path) and (size is None or os.path.getsize(path) == size)
            files.append(dict(name=name, path=path, size=size, skipped=skipped))
    return files


def main():
    module = AnsibleModule(
        argument_spec=card_argument_spec(dest=dict(type='path', required=True), name=dict(type='str')),
        supports_check_mode=True)
    ctl = Trevnactl(module)
    name = safe_part(module, module.params['name'] or module.params['host'], 'card folder name')
    folder_path = os.path.join(module.params['dest'], name)
    if module.check_mode:
        files = planned(module, ctl, folder_path)
        downloaded = sum(1 for entry in files if not entry['skipped'])
        module.exit_json(changed=downloaded > 0, path=folder_path, files=files, downloaded=downloaded,
                         step='', message='')
    answer = ctl.card('archive-get', options=['--all-folders', '--missing-only', '-o', folder_path])
    files = answer.get('files') or []
    downloaded = sum(1 for entry in files if not entry.get('skipped'))
    module.exit_json(changed=bool(answer.get('changed')), path=folder_path, files=files, downloaded=downloaded,
                     step=answer.get('step'), message=answer.get('message'))


if __name__ == '__main__':
    main()
