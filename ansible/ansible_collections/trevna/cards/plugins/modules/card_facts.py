#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: TrevnaConf
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: card_facts
short_description: Reads what a Trevna-2.2 card is and holds
description:
  - Logs in to the card and reports its SSH host key and whether it matches the remembered one, its clock and
    its offset from the controller, its network settings, its hardware address and the SHA-256 and size of
    the program it holds.
  - The answer is returned as the fact C(trevna_card) and as the module's own return values.
  - Changes nothing on the card; a card seen for the first time has its host key remembered.
author: TrevnaConf team (@trevnaconf)
extends_documentation_fragment:
  - trevna.cards.trevnactl
attributes:
  check_mode:
    support: full
    description: Runs the same way in check mode.
  diff_mode:
    support: none
    description: Changes nothing, so it has nothing to show.
'''

EXAMPLES = r'''
- name: Inventory of every card
  trevna.cards.card_facts:
    host: "{{ ansible_host }}"
    user: serwis
    password: "{{ card_password }}"

- name: Cards that do not run the approved program
  ansible.builtin.debug:
    msg: "{{ inventory_hostname }} runs {{ trevna_card.program_sha256 }}"
  when: trevna_card.program_sha256 != approved_sha256
'''

RETURN = r'''
ansible_facts:
  description: The card's facts under C(trevna_card), the same keys as below.
  returned: success
  type: dict
  contains:
    trevna_card:
      description: What the card reported.
      type: dict
      returned: success
reachable:
  description: The card answered.
  returned: success
  type: bool
host_key_fingerprint:
  description: SHA-256 fingerprint of the card's SSH host key.
  returned: success
  type: str
  sample: SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU
host_key:
  description: C(known) (matches the remembered key), C(new) (nothing remembered before) or C(changed).
  returned: success
  type: str
  sample: known
time:
  description: The card's clock, UTC.
  returned: success
  type: str
  sample: '2026-12-09T02:00:00Z'
offset_seconds:
  description: The card's clock minus the controller's, in seconds.
  returned: success
  type: float
  sample: -1.5
network:
  description: The card's network settings.
  returned: success
  type: dict
  sample: {proto: static, ipaddr: 192.168.1.21, netmask: 255.255.255.0, gateway: 192.168.1.1}
hwaddr:
  description: The card's hardware (MAC) address.
  returned: success
  type: str
  sample: '00:50:c2:00:00:01'
program_sha256:
  description: SHA-256 of the program the card holds; null when it holds none.
  returned: success
  type: str
program_size:
  description: Size in bytes of the program the card holds; null when it holds none.
  returned: success
  type: int
step:
  description: The last step reached (C(done) on success).
  returned: always
  type: str
  sample: done
message:
  description: trevnactl's own text for the result.
  returned: success
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.trevna.cards.plugins.module_utils.trevnactl import (
    Trevnactl, card_argument_spec, found)


def main():
    module = AnsibleModule(argument_spec=card_argument_spec(), supports_check_mode=True)
    answer = Trevnactl(module).card('facts')
    facts = found(answer)
    facts['reachable'] = answer.get('reachable', True)
    result = dict(changed=False, ansible_facts=dict(trevna_card=facts))
    result.update(facts)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
