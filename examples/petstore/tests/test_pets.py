"""Part of the pet shop's API, on purpose: updating a pet, an owner's pets, the name conflict, a
successful delete, the `tag` filter and the `X-Request-Id` header are left for the coverage report
to point out. The retired `page` parameter of listing pets accepts no value at all: the report
names it impossible instead of asking for a test that cannot exist.
"""

import pytest


def test_list_pets_by_status(client):
    response = client.get("/v1/pets", query_string={"status": "available", "limit": 10})
    assert response.status_code == 200
    assert [p["name"] for p in response.get_json()] == ["Tom"]


@pytest.mark.parametrize("query", [{"limit": 0}, {"limit": 101}, {"limit": "many"}, {"status": "lost"}])
def test_list_pets_rejects_bad_query(client, query):
    response = client.get("/v1/pets", query_string=query)
    assert response.status_code == 400
    assert response.get_json()["code"] == "bad_request"


def test_create_then_get_pet(client):
    created = client.post("/v1/pets", json={"name": "Rex", "species": "dog", "age": 3})
    assert created.status_code == 201
    pet = created.get_json()
    assert pet["status"] == "available"

    fetched = client.get(f"/v1/pets/{pet['id']}")
    assert fetched.status_code == 200
    assert fetched.get_json() == pet


@pytest.mark.parametrize(
    ("body", "problem"),
    [
        ({"species": "dog"}, "name"),
        ({"name": "Rex", "species": "dragon"}, "species"),
        ({"name": "Rex", "species": "dog", "age": 51}, "age"),
        ({"name": "Rex", "species": "dog", "colour": "brown"}, "colour"),
    ],
)
def test_create_pet_rejects_broken_body(client, body, problem):
    response = client.post("/v1/pets", json=body)
    assert response.status_code == 400
    assert problem in response.get_json()["message"]


def test_get_missing_pet(client):
    response = client.get("/v1/pets/999")
    assert response.status_code == 404
    assert response.get_json()["code"] == "not_found"


def test_delete_needs_api_key(client):
    response = client.delete("/v1/pets/1")
    assert response.status_code == 401
    assert client.get("/v1/pets/1").status_code == 200
