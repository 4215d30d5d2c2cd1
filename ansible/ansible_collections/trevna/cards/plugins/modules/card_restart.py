#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: card_restart
short_description: Restarts the software of a Trevna-2.2 card
description:
  - Asks the card to restart (C(sync && /vemo/restart)) and waits the restart out.
  - Always changes the card; in check mode the card is not contacted.
author: TrevnaConf team (@trevnaconf)
extends_documentation_fragment:
  - trevna.cards.trevnactl
  - trevna.cards.trevnactl.restart
attributes:
  check_mode:
    support: full
    description: Reports a change without contacting the card.
  diff_mode:
    support: none
    description: Nothing to show.
'''

EXAMPLES = r'''
- name: Restart the cards one batch at a time
  trevna.cards.card_restart:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"
'''

RETURN = r'''
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
    Trevnactl, card_argument_spec, restart_step_option)


def main():
    module = AnsibleModule(argument_spec=card_argument_spec(restart_step_ms=dict(type='int')),
                           supports_check_mode=True)
    options = restart_step_option(module)
    ctl = Trevnactl(module)
    if module.check_mode:
        module.exit_json(changed=True, step='', message='')
    answer = ctl.card('restart', options=options)
    module.exit_json(changed=True, step=answer.get('step'), message=answer.get('message'))


if __name__ == '__main__':
    main()
