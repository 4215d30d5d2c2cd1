#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: card_network
short_description: Reads and sets the network settings of a Trevna-2.2 card
description:
  - Reads the card's network settings.
  - With I(ipaddr), I(netmask) and I(gateway), gives the card these static settings when they differ from
    what it has; the card then restarts. Settings that would make the card unreachable are refused.
  - Changing the address of a card moves it; the inventory must follow.
author: TrevnaConf team (@trevnaconf)
extends_documentation_fragment:
  - trevna.cards.trevnactl
  - trevna.cards.trevnactl.restart
options:
  ipaddr:
    description:
      - Static address of the card.
    type: str
  netmask:
    description:
      - Network mask.
    type: str
  gateway:
    description:
      - Default gateway.
    type: str
attributes:
  check_mode:
    support: full
    description: Reads the settings; C(changed) says whether they would be set.
  diff_mode:
    support: full
    description: The settings before and after.
'''

EXAMPLES = r'''
- name: Read the settings of every card
  trevna.cards.card_network:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"

- name: A new gateway, same addresses
  trevna.cards.card_network:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"
    ipaddr: "{{ ansible_host }}"
    netmask: 255.255.255.0
    gateway: 192.168.1.254
'''

RETURN = r'''
network:
  description: The card's settings as read (before any change).
  returned: success
  type: dict
  sample: {proto: static, ipaddr: 192.168.1.21, netmask: 255.255.255.0, gateway: 192.168.1.1}
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
    Trevnactl, card_argument_spec, found, restart_step_option)

FIELDS = ('ipaddr', 'netmask', 'gateway')


def main():
    module = AnsibleModule(
        argument_spec=card_argument_spec(ipaddr=dict(type='str'), netmask=dict(type='str'),
                                         gateway=dict(type='str'), restart_step_ms=dict(type='int')),
        required_together=[FIELDS], supports_check_mode=True)
    options = restart_step_option(module)
    ctl = Trevnactl(module)
    answer = ctl.card('network')
    result = found(answer)
    result['changed'] = False
    current = answer.get('network') or {}
    wanted = dict((field, module.params[field]) for field in FIELDS)
    if wanted['ipaddr'] is None:
        module.exit_json(**result)
    wanted['proto'] = 'static'
    differs = any(current.get(key) != value for key, value in wanted.items())
    if module._diff:
        after = dict(current)
        after.update(wanted)
        result['diff'] = dict(before=current, after=after)
    if differs and not module.check_mode:
        answer = ctl.card('network', options=['--set', wanted['ipaddr'], wanted['netmask'], wanted['gateway']] + options)
        result['step'], result['message'] = answer.get('step'), answer.get('message')
    result['changed'] = differs
    module.exit_json(**result)


if __name__ == '__main__':
    main()
