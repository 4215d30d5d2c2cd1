#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: card_time
short_description: Reads and sets the clock of a Trevna-2.2 card
description:
  - Reads the card's UTC clock and its offset from the controller's.
  - With I(sync), sets the card's clock to the controller's when it is more than 10 seconds off, as the
    program does after a login.
author: TrevnaConf team (@trevnaconf)
extends_documentation_fragment:
  - trevna.cards.trevnactl
options:
  sync:
    description:
      - Set the card's clock when it is more than 10 seconds off.
    type: bool
    default: true
attributes:
  check_mode:
    support: full
    description: Reads the clock; C(changed) says whether it would be set.
  diff_mode:
    support: none
    description: Nothing to show.
'''

EXAMPLES = r'''
- name: Keep the card clocks in step with the controller
  trevna.cards.card_time:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"
'''

RETURN = r'''
time:
  description: The card's clock (UTC) when it was read.
  returned: success
  type: str
  sample: '2026-12-09T02:00:00Z'
offset_seconds:
  description: The card's clock minus the controller's, in seconds, before any setting.
  returned: success
  type: float
set:
  description: The clock was set (in check mode, would be set).
  returned: success
  type: bool
step:
  description: The last step reached (C(done) on success).
  returned: always
  type: str
message:
  description: trevnactl's own text for the result.
  returned: always
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.trevna.cards.plugins.module_utils.trevnactl import (
    Trevnactl, card_argument_spec, found)

# trevnactl time --sync sets the clock only beyond this offset.
SYNC_THRESHOLD_SECONDS = 10


def main():
    module = AnsibleModule(argument_spec=card_argument_spec(sync=dict(type='bool', default=True)),
                           supports_check_mode=True)
    sync = module.params['sync']
    options = ['--sync'] if sync and not module.check_mode else []
    answer = Trevnactl(module).card('time', options=options)
    result = found(answer)
    if module.check_mode:
        offset = answer.get('offset_seconds')
        result['set'] = bool(sync and offset is not None and abs(offset) > SYNC_THRESHOLD_SECONDS)
        result['changed'] = result['set']
    else:
        result['changed'] = bool(answer.get('changed') or answer.get('set'))
    module.exit_json(**result)


if __name__ == '__main__':
    main()
