#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: card_password
short_description: Rotates the SSH password of a Trevna-2.2 card
description:
  - Logs in with I(password) and changes the user's password on the card to I(new_password).
  - When the login with I(password) fails and I(new_password) logs in, the password was rotated already and
    nothing changes, so a rotation play can run again after a partial failure.
  - The new password reaches C(trevnactl) through a temporary file that only the controller's user can read,
    removed when the module ends; neither password is ever on a command line or in the module's output.
author: TrevnaConf team (@trevnaconf)
extends_documentation_fragment:
  - trevna.cards.trevnactl
options:
  new_password:
    description:
      - The password the card should take. It must fit Windows-1250 and hold no line break.
    type: str
    required: true
attributes:
  check_mode:
    support: full
    description: Logs in to find out which of the two passwords the card takes; changes nothing.
  diff_mode:
    support: none
    description: Secrets are never shown.
'''

EXAMPLES = r'''
- name: Rotate the service password (both in the vault)
  trevna.cards.card_password:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ vault_card_password }}"
    new_password: "{{ vault_card_password_next }}"
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
    Trevnactl, card_argument_spec, single_line)


def main():
    module = AnsibleModule(
        argument_spec=card_argument_spec(new_password=dict(type='str', required=True, no_log=True)),
        supports_check_mode=True)
    single_line(module, 'new_password', module.params['new_password'])
    ctl = Trevnactl(module)
    if module.params['new_password'] == module.params['password']:
        answer = ctl.card('facts')
        module.exit_json(changed=False, step=answer.get('step'), message=answer.get('message'))

    # Which password does the card take now?
    current = ctl.card('facts', fail=False)
    if not current.get('ok'):
        if current.get('step') != 'login':
            ctl.fail(current, 1, '')
        rotated = ctl.card('facts', password=module.params['new_password'], fail=False)
        if not rotated.get('ok'):
            ctl.fail(current, 1, '')
        module.exit_json(changed=False, step=rotated.get('step'), message=rotated.get('message'))
    if module.check_mode:
        module.exit_json(changed=True, step=current.get('step'), message=current.get('message'))
    answer = ctl.card('passwd', new_password=module.params['new_password'])
    module.exit_json(changed=True, step=answer.get('step'), message=answer.get('message'))


if __name__ == '__main__':
    main()
